#include "ErrorName.h"

#include "Dll.h"

const char* ErrorName::of(int code) {
    switch (code) {
    case ERROR_NO: return "ERROR_NO";
    case ERROR_UNEXPECTED_EXCEPTION: return "ERROR_UNEXPECTED_EXCEPTION";
    case ERROR_COMPONENT_NOT_SUPPORTED: return "ERROR_COMPONENT_NOT_SUPPORTED";
    case ERROR_DATATYPE_NOT_SUPPORTED: return "ERROR_DATATYPE_NOT_SUPPORTED";
    case ERROR_COMPONENTTYPE_NOT_SUPPORTED: return "ERROR_COMPONENTTYPE_NOT_SUPPORTED";
    case ERROR_INDEX_NOT_SUPPORTED: return "ERROR_INDEX_NOT_SUPPORTED";
    case ERROR_BUFFER_TOO_SMAL: return "ERROR_BUFFER_TOO_SMAL";
    case ERROR_INVALID_VALUE: return "ERROR_INVALID_VALUE";
    case ERROR_START_DLL: return "ERROR_START_DLL";
    default: return "UNKNOWN";
    }
}

std::string ErrorName::withCode(int code) { return std::to_string(code) + " " + of(code); }
