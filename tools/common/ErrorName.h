#pragma once
// The names of the codes the exported functions return (the ERRORS of
// Dll.h), as every tool shows them: "-62 ERROR_COMPONENT_NOT_SUPPORTED"
// rather than a bare number. Stateless; any thread.
#include <string>

class ErrorName {
public:
    // "ERROR_COMPONENT_NOT_SUPPORTED" for -62; "UNKNOWN" for a code not in ERRORS.
    static const char* of(int code);
    // The code and its name: "-62 ERROR_COMPONENT_NOT_SUPPORTED".
    static std::string withCode(int code);
};
