package org.orq;

/**
 * Loads liborq into the JVM for the classes that declare its natives
 * ({@link Link}, and the class Dll of the unnamed package): from the path in
 * the system property "orq.library" when it is set, otherwise as "orq" from
 * java.library.path. Any thread; loading again is harmless (the JVM keeps
 * one copy per class loader).
 */
public final class NativeLibrary {
    private NativeLibrary() {
    }

    /** Loads the library; throws UnsatisfiedLinkError when it cannot be found or loaded. */
    public static void load() {
        String path = System.getProperty("orq.library");
        if (path != null) {
            System.load(path);
        } else {
            System.loadLibrary("orq");
        }
    }
}
