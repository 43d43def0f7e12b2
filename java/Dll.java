/**
 * Java face of liborq: starts and stops the library on a serial device and
 * reads and sets the values it mirrors from the remote devices.
 *
 * The library is loaded from the path in the system property "orq.library"
 * when it is set, otherwise as "orq" from java.library.path.
 */
public class Dll {
    static {
        org.orq.NativeLibrary.load();
    }

    /** Starts the library on device dev; its own ID is always 1. 0, or -68 when dev does not open. */
    public native int init(int id, String dev);

    /** Stops the serial link and the main loop. Always 0. */
    public native int deinit();

    /** The value of dataID at index of component componenID; 0 when it cannot be read. */
    public native int getData(int componenID, int dataID, int index);

    /** Sets dataID at index of component componenID and sends it. 0 or a negative error code. */
    public native int setData(int componenID, int dataID, int value, int index);

    /**
     * The nodes the library knows now, as pairs: ID, then type code (1 flight board,
     * 0 ground station, -1 while the type is not yet known). Empty before init.
     */
    public native int[] getComponents();
}
