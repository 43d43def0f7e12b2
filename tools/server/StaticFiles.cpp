#include "StaticFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace {

const char* contentTypeOf(const std::string& name) {
    static const std::pair<const char*, const char*> kinds[] = {
        {".html", "text/html; charset=utf-8"},       {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},         {".png", "image/png"},
        {".svg", "image/svg+xml"},                   {".json", "application/json"},
    };
    for (const auto& kind : kinds) {
        const std::string ext = kind.first;
        if (name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0) return kind.second;
    }
    return nullptr;
}

bool plainName(const std::string& name) {
    if (name.empty() || name[0] == '.') return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

}  // namespace

StaticFiles::StaticFiles(const std::string& folder) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        const char* type = contentTypeOf(name);
        const std::string path = folder + "/" + name;
        struct stat st;
        if (!plainName(name) || type == nullptr || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        std::ifstream in(path, std::ios::binary);
        std::ostringstream body;
        body << in.rdbuf();
        if (in) files["/" + name] = File{type, body.str()};
    }
}

const StaticFiles::File* StaticFiles::find(const std::string& path) const {
    const auto it = files.find(path == "/" ? "/index.html" : path);
    return it == files.end() ? nullptr : &it->second;
}
