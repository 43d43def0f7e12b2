package org.orq;

import java.time.Duration;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Objects;
import java.util.concurrent.atomic.AtomicBoolean;

/**
 * The library started on one connection: reads and sets the values it mirrors
 * from the nodes it hears. Open it with {@link #open}, preferably in a
 * try-with-resources block; {@link #close} stops it.
 *
 * <pre>{@code
 * try (Link link = Link.open(1, "/dev/ttyUSB0")) {
 *     link.waitNode(5, Duration.ofSeconds(10));
 *     int fix = link.get(5, DataId.FlightBoard.GPS_STATUS, 0);
 *     link.set(5, DataId.FlightBoard.GPS_MODE, 0, 2);
 * }
 * }</pre>
 *
 * <p>A failed call throws the {@link OrqException} subclass of the code the
 * library returned, never a value that only looks like one. Every call after
 * {@link #close} throws {@link IllegalStateException} without reaching the
 * library, so no set of a closed Link can leave through a later one.
 *
 * <p>One link per process: the library serves a single link today. While one
 * is open (through a Link, the class {@code Dll} or a native host in the same
 * process) a further {@link #open} throws {@link StartDllException} and leaves
 * the running link untouched. Each Link is known to the native side by a
 * handle of its own, never reused, so a stale Link can never stop a later one.
 * Do not start or stop the library through {@code Dll} while a Link is open:
 * it would restart or stop the link under the Link.
 *
 * <p>Threads: every method may be called from any thread, also concurrently.
 * A call racing a {@link #close} either completes or throws as the library
 * answers a stopped link; a {@link #waitNode} in progress ends with
 * {@link StartDllException} as soon as the link stops.
 *
 * <p>The library is loaded as {@link NativeLibrary#load} says.
 */
public final class Link implements AutoCloseable {
    static {
        NativeLibrary.load();
    }

    /** What {@link #open0} returns when another link already runs in this process. */
    private static final long BUSY = 0;
    /** The longest wait the library takes, in milliseconds an int holds. */
    private static final Duration LONGEST_WAIT = Duration.ofMillis(Integer.MAX_VALUE);

    private final long handle;
    private final int ownId;
    private final AtomicBoolean closed = new AtomicBoolean();

    private Link(long handle, int ownId) {
        this.handle = handle;
        this.ownId = ownId;
    }

    /**
     * Starts the library on {@code connection} (a serial device path, or any
     * connection string the library accepts) with {@code ownId} as its own ID
     * on the link (the ID its link statistics are read under).
     *
     * @throws StartDllException when the connection does not open, or when a
     *         link already runs in this process (that link goes on unchanged)
     * @throws IllegalArgumentException for an own ID outside 1..255 (the
     *         library would keep only its low byte) or a connection with a NUL
     *         character
     */
    public static Link open(int ownId, String connection) throws OrqException {
        Objects.requireNonNull(connection, "connection");
        if (ownId < 1 || ownId > 255) {
            throw new IllegalArgumentException("own ID " + ownId + " outside 1..255");
        }
        if (connection.indexOf('\0') >= 0) {
            throw new IllegalArgumentException("connection string with a NUL character");
        }
        long handle = open0(ownId, connection);
        if (handle == BUSY) {
            throw new StartDllException("open: a link already runs in this process; close it first");
        }
        if (handle < 0) {
            throw OrqException.of((int) handle, "open");
        }
        return new Link(handle, ownId);
    }

    /** The library's own ID on this link. */
    public int ownId() {
        return ownId;
    }

    /** False once {@link #close} has been called. */
    public boolean isOpen() {
        return !closed.get();
    }

    /**
     * Stops the link. The first call stops it; later calls do nothing.
     * A {@link #waitNode} in progress on another thread ends with
     * {@link StartDllException}.
     */
    @Override
    public void close() {
        if (closed.compareAndSet(false, true)) {
            close0(handle);
        }
    }

    /** The value of {@code dataId} at {@code index} of node {@code node}. */
    public int get(int node, int dataId, int index) throws OrqException {
        long packed = get0(handle(), node, dataId, index);
        check((int) (packed >> 32), "get");
        return (int) packed;
    }

    /** The value of {@code dataId} at {@code index} of node {@code node}. */
    public int get(int node, DataId dataId, int index) throws OrqException {
        return get(node, dataId.number(), index);
    }

    /** Sets {@code dataId} at {@code index} of node {@code node} to {@code value} and sends it. */
    public void set(int node, int dataId, int index, int value) throws OrqException {
        check(set0(handle(), node, dataId, index, value), "set");
    }

    /** Sets {@code dataId} at {@code index} of node {@code node} to {@code value} and sends it. */
    public void set(int node, DataId dataId, int index, int value) throws OrqException {
        set(node, dataId.number(), index, value);
    }

    /**
     * Waits until node {@code id} is known with its type, for at most
     * {@code timeout} (zero: only looks); returns at once when it already is.
     * Times beyond about 24 days count as that long, and a time is taken in
     * whole milliseconds. The wait blocks the calling thread in the library:
     * {@link Thread#interrupt} does not end it, {@link #close} does.
     *
     * @throws ComponentNotSupportedException when the time runs out first
     * @throws StartDllException when the link stops while waiting
     * @throws InvalidValueException for an ID outside 1..255 or a negative timeout
     */
    public void waitNode(int id, Duration timeout) throws OrqException {
        int millis;
        if (timeout.isNegative()) {
            millis = -1;
        } else if (timeout.compareTo(LONGEST_WAIT) > 0) {
            millis = Integer.MAX_VALUE;
        } else {
            millis = (int) timeout.toMillis();
        }
        check(waitNode0(handle(), id, millis), "waitNode");
    }

    /** The nodes the library knows now, each once; unmodifiable. */
    public List<Component> components() throws OrqException {
        int[] answer = components0(handle());
        check(answer[0], "components");
        List<Component> nodes = new ArrayList<>(answer.length / 2);
        for (int i = 1; i + 1 < answer.length; i += 2) {
            nodes.add(new Component(answer[i], answer[i + 1]));
        }
        return Collections.unmodifiableList(nodes);
    }

    @Override
    public String toString() {
        return "Link(own ID " + ownId + (isOpen() ? ", open)" : ", closed)");
    }

    /** This Link's handle; refuses every call once the Link is closed. */
    private long handle() {
        if (closed.get()) {
            throw new IllegalStateException("the link is closed");
        }
        return handle;
    }

    private static void check(int code, String call) throws OrqException {
        if (code != 0) {
            throw OrqException.of(code, call);
        }
    }

    // The natives (LinkJava.cpp) return the library's codes; this class turns
    // them into exceptions. open0: a handle (> 0), BUSY, or a negative code.
    // get0: the code in the upper 32 bits, the value in the lower 32.
    // components0: the code, then the nodes' IDs and type codes interleaved.
    private static native long open0(int ownId, String connection);

    private static native int close0(long handle);

    private static native long get0(long handle, int node, int dataId, int index);

    private static native int set0(long handle, int node, int dataId, int index, int value);

    private static native int waitNode0(long handle, int id, int timeoutMs);

    private static native int[] components0(long handle);
}
