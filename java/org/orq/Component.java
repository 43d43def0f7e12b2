package org.orq;

/**
 * A node the library knows: its ID (1..255) and its type code
 * ({@link #FLIGHT_BOARD}, {@link #GROUND_STATION}, or {@link #TYPE_UNKNOWN} while
 * the node has not yet said what it is). A value: immutable, any thread.
 */
public record Component(int id, int type) {
    /** Type code of a flight board. */
    public static final int FLIGHT_BOARD = 1;
    /** Type code of a ground station. */
    public static final int GROUND_STATION = 0;
    /** Type code of a node whose type is not yet known. */
    public static final int TYPE_UNKNOWN = -1;
}
