#pragma once
/* Host interface of liborq.so: plain C functions, every one returning int
 * (0 or a negative ERRORS code). No exception crosses this interface.
 *
 * Every function may be called from any thread at any time: init and deinit
 * are serialized with each other, and a data call made during a restart
 * finishes on the instance it found (or, before the first init, gets -62).
 * A set while no link runs (after deinit, after an init that failed) gets -62
 * and changes nothing; reads go on giving the last start's values. */
#include <stdint.h>

#if defined(_WIN32)
#define ORQ_EXPORT __declspec(dllexport)
#else
#define ORQ_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DWORD;

enum ERRORS {
    ERROR_NO = 0,
    ERROR_UNEXPECTED_EXCEPTION = -61,
    ERROR_COMPONENT_NOT_SUPPORTED = -62,
    ERROR_DATATYPE_NOT_SUPPORTED = -63,
    ERROR_COMPONENTTYPE_NOT_SUPPORTED = -64,
    ERROR_INDEX_NOT_SUPPORTED = -65,
    ERROR_BUFFER_TOO_SMAL = -66,
    ERROR_INVALID_VALUE = -67,
    ERROR_START_DLL = -68
};

/* Lifecycle. */
ORQ_EXPORT int init(int tabletID, DWORD handle, const char* dev);
ORQ_EXPORT int deinit(void);
ORQ_EXPORT int getThreadID(void** workerThreadHandle, void** uartThreadHandle);
ORQ_EXPORT int readBegin(void);
ORQ_EXPORT int readEnd(void);

/* Recording of the link's traffic (docs/capture.md). startCapture creates
 * the file (-68 when it cannot) and records from now on, or from the next
 * init when the library is not running; a second call switches to the new
 * file. The capture ends with stopCapture or deinit. With the environment
 * variable ORQ_CAPTURE=PATH every init starts a capture ("%t" in PATH becomes
 * the start time, YYYYmmdd-HHMMSS). */
ORQ_EXPORT int startCapture(const char* path);
ORQ_EXPORT int stopCapture(void);

/* Data calls. */
ORQ_EXPORT int getDataKomplex(int componenID, int* dataIDs, int* indexs, int komplexSize, int* value, int* size);
ORQ_EXPORT int setDataKomplex(int componenID, int* dataIDs, int* indexs, int komplexSize, int* value, int* size);
ORQ_EXPORT int getData(int componenID, int dataID, int* value, int index);
ORQ_EXPORT int setData(int componenID, int dataID, int value, int index);
ORQ_EXPORT int getDataRaw(int componenID, int dataID, int* value, int* size, int index);
ORQ_EXPORT int waitForData(int ComponenID, int DataID, int* value);
ORQ_EXPORT int waitForDataValue(int ComponenID, int DataID, int* value, int exceptedValue);

/* Nodes: fills up to *size entries with the IDs of the nodes in the world
 * model and their type codes (1 flight board, 0 ground station, -1 while the
 * type is not yet known) and sets *size to the number written. More nodes
 * than slots: -66, the slots that fit filled, *size the number needed. Before
 * init: -62. */
ORQ_EXPORT int getComponents(int* ids, int* types, int* size);

/* Waits until node id (1 to 255) is in the world model with its type known,
 * for at most timeoutMs milliseconds (0: only looks). 0 once it is typed (at
 * once when it already was), -62 when the time runs out first. -68 when no
 * link runs: before init, after deinit or a failed init, and as soon as a
 * deinit on another thread stops the link the call waits on. -67 for an id
 * outside 1 to 255 or a negative timeout. Holds no lock while it waits. */
ORQ_EXPORT int waitForComponent(int id, int timeoutMs);

#ifdef __cplusplus
}
#endif
