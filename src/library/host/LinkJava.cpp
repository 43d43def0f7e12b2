// Native methods of the Java class org.orq.Link: the exported calls, with the
// codes handed back for Link to turn into exceptions (nothing is thrown into
// the JVM here, and no C++ exception leaves a native).
//
// The library serves one link per process. This file keeps which Link holds
// it, by handle: open0 refuses (returns busy) while that Link is open or while
// any other host's init left a link running, so a second open never restarts
// the first. Handles count up and are never reused, so the close of a stale
// Link stops nothing. The data calls take the handle too but need it only
// once the library serves several links; today they act on the one link.
//
// Any Java thread may call any native at any time. openMutex serializes open0
// and close0 (and is held across init and deinit); the data calls take no
// lock of this file, and waitNode0 blocks only its own thread.
#ifdef ORQ_WITH_JNI

#include <jni.h>

#include <cstdint>
#include <memory>
#include <mutex>

#include "host/Dll.h"
#include "host/Library.h"

namespace {

// What open0 returns when a link already runs: never a handle (they start at 1).
const jlong busy = 0;
// Node IDs are 1..255 and the list holds each once, so one call always fits.
const int maxComponents = 255;

std::mutex openMutex;
// Guarded by openMutex.
jlong openHandle = busy;
jlong lastHandle = busy;

// Whether any host's init left a link running (the current start takes sets).
bool linkRuns() {
    const std::shared_ptr<LibraryInstance> instance = Library::current();
    return instance && instance->takesSets();
}

// The code in the upper half, the value in the lower (as Link.get unpacks it).
jlong packed(int code, int value) {
    return static_cast<jlong>((static_cast<uint64_t>(static_cast<uint32_t>(code)) << 32) |
                              static_cast<uint32_t>(value));
}

}  // namespace

extern "C" {

ORQ_EXPORT jlong JNICALL Java_org_orq_Link_open0(JNIEnv* env, jclass cls, jint ownId, jstring connection) {
    (void)cls;
    // Null only with an OutOfMemoryError pending, which Java throws on return.
    const char* chars = env->GetStringUTFChars(connection, nullptr);
    if (!chars) return ERROR_START_DLL;
    jlong result = ERROR_START_DLL;
    try {
        std::lock_guard<std::mutex> lock(openMutex);
        if (openHandle != busy || linkRuns()) {
            result = busy;
        } else {
            const int code = init(ownId, 0, chars);
            if (code == ERROR_NO) {
                openHandle = ++lastHandle;
                result = openHandle;
            } else {
                result = code;
            }
        }
    } catch (...) {
        result = ERROR_UNEXPECTED_EXCEPTION;
    }
    env->ReleaseStringUTFChars(connection, chars);
    return result;
}

ORQ_EXPORT jint JNICALL Java_org_orq_Link_close0(JNIEnv* env, jclass cls, jlong handle) {
    (void)env;
    (void)cls;
    try {
        std::lock_guard<std::mutex> lock(openMutex);
        if (handle != openHandle) return ERROR_NO;
        openHandle = busy;
        return deinit();
    } catch (...) {
        return ERROR_UNEXPECTED_EXCEPTION;
    }
}

ORQ_EXPORT jlong JNICALL Java_org_orq_Link_get0(JNIEnv* env, jclass cls, jlong handle, jint node, jint dataId,
                                                jint index) {
    (void)env;
    (void)cls;
    (void)handle;
    int value = 0;
    const int code = getData(node, dataId, &value, index);
    return packed(code, value);
}

ORQ_EXPORT jint JNICALL Java_org_orq_Link_set0(JNIEnv* env, jclass cls, jlong handle, jint node, jint dataId,
                                               jint index, jint value) {
    (void)env;
    (void)cls;
    (void)handle;
    return setData(node, dataId, value, index);
}

ORQ_EXPORT jint JNICALL Java_org_orq_Link_waitNode0(JNIEnv* env, jclass cls, jlong handle, jint id,
                                                    jint timeoutMs) {
    (void)env;
    (void)cls;
    (void)handle;
    return waitForComponent(id, timeoutMs);
}

ORQ_EXPORT jintArray JNICALL Java_org_orq_Link_components0(JNIEnv* env, jclass cls, jlong handle) {
    (void)cls;
    (void)handle;
    int ids[maxComponents];
    int types[maxComponents];
    int size = maxComponents;
    const int code = getComponents(ids, types, &size);
    if (code != ERROR_NO) size = 0;
    jint answer[1 + 2 * maxComponents];
    answer[0] = code;
    for (int i = 0; i < size; ++i) {
        answer[1 + 2 * i] = ids[i];
        answer[2 + 2 * i] = types[i];
    }
    const jsize length = 1 + 2 * size;
    // Null with an OutOfMemoryError pending when the JVM has no room.
    jintArray result = env->NewIntArray(length);
    if (!result) return nullptr;
    env->SetIntArrayRegion(result, 0, length, answer);
    if (env->ExceptionCheck()) return nullptr;
    return result;
}

}  // extern "C"

#endif  // ORQ_WITH_JNI
