/* The host header as a C host sees it: compiled as C99 with every warning an
 * error (see CMakeLists.txt), nothing of Windows needed. A build failure here
 * is the test. */
#include "Dll.h"

int orq_header_c99_check(void);

int orq_header_c99_check(void) {
    int ids[4], types[4], size = 4;
    DWORD handle = 0;
    enum ERRORS none = ERROR_NO;
    return init(1, handle, "/dev/null") == none ? getComponents(ids, types, &size) : deinit();
}
