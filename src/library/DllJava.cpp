// Native methods of the Java class Dll (default package): thin wrappers over
// init, deinit, getData and setData. A Java host always runs the library
// under its own ID 1; getData hands Java the value itself, 0 when the read
// fails. The JNI environment is used only for the device name's characters.
//
// Called on any Java thread; the rules of the wrapped calls apply unchanged.
#ifdef ORQ_WITH_JNI

#include <jni.h>

#include "Dll.h"
#include "LogLine.h"

namespace {

const int javaHostID = 1;

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

}  // extern "C"

#endif  // ORQ_WITH_JNI
