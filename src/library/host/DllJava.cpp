// Native methods of the Java class Dll (default package): thin wrappers over
// init, deinit, getData, setData and getComponents. A Java host always runs
// the library under its own ID 1; getData hands Java the value itself, 0 when
// the read fails; getComponents hands it IDs and type codes interleaved, an
// empty array when the list cannot be taken. The JNI environment is used only
// for the device name's characters and the list's array.
//
// Called on any Java thread; the rules of the wrapped calls apply unchanged.
#ifdef ORQ_WITH_JNI

#include <jni.h>

#include "host/Dll.h"
#include "log/LogLine.h"

namespace {

const int javaHostID = 1;
// Node IDs are 1..255 and the list holds each once, so one call always fits.
const int maxComponents = 255;

}  // namespace

extern "C" {

ORQ_EXPORT jint JNICALL Java_Dll_init(JNIEnv* env, jobject obj, jint id, jstring javadev) {
    (void)obj;
    (void)id;
    // A null name (or characters the JVM could not provide) leaves init
    // without a device, which it reports as a failed start.
    const char* dev = javadev ? env->GetStringUTFChars(javadev, nullptr) : nullptr;
    ORQ::logLine("[DLL] Java_Dll_init()");
    const int result = init(javaHostID, 0, dev);
    ORQ::logLine("[DLL] Java_Dll_init() exit");
    if (dev) env->ReleaseStringUTFChars(javadev, dev);
    return result;
}

ORQ_EXPORT jint JNICALL Java_Dll_deinit(JNIEnv* env, jobject obj) {
    (void)env;
    (void)obj;
    ORQ::logLine("[DLL] Java_Dll_deinit()");
    return deinit();
}

ORQ_EXPORT jint JNICALL Java_Dll_getData(JNIEnv* env, jobject obj, jint componenID, jint dataID, jint index) {
    (void)env;
    (void)obj;
    int value = 0;
    getData(componenID, dataID, &value, index);
    return value;
}

ORQ_EXPORT jint JNICALL Java_Dll_setData(JNIEnv* env, jobject obj, jint componenID, jint dataID, jint value,
                                        jint index) {
    (void)env;
    (void)obj;
    return setData(componenID, dataID, value, index);
}

ORQ_EXPORT jintArray JNICALL Java_Dll_getComponents(JNIEnv* env, jobject obj) {
    (void)obj;
    int ids[maxComponents];
    int types[maxComponents];
    int size = maxComponents;
    if (getComponents(ids, types, &size) != ERROR_NO) size = 0;
    jint pairs[2 * maxComponents];
    for (int i = 0; i < size; ++i) {
        pairs[2 * i] = ids[i];
        pairs[2 * i + 1] = types[i];
    }
    // Null with an OutOfMemoryError pending when the JVM has no room.
    jintArray result = env->NewIntArray(2 * size);
    if (result) env->SetIntArrayRegion(result, 0, 2 * size, pairs);
    return result;
}

}  // extern "C"

#endif  // ORQ_WITH_JNI
