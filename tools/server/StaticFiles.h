#pragma once
// The dashboard's files, read into memory once at start-up from one folder
// (its plain files only, no subfolders). Requests are answered by looking a
// name up in this set, so no request path ever reaches the file system.
// Not changed after construction: any thread may read it.
#include <map>
#include <string>

class StaticFiles {
public:
    struct File {
        std::string contentType;
        std::string body;
    };

    // Reads every regular file of folder whose name is plain (letters,
    // digits, '.', '-', '_', not starting with '.') and whose kind is known.
    explicit StaticFiles(const std::string& folder);

    // The file for a request path ("/" is index.html); null when there is none.
    const File* find(const std::string& path) const;
    size_t size() const { return files.size(); }

private:
    std::map<std::string, File> files;
};
