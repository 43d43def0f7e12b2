package org.orq;

/**
 * -66 ERROR_BUFFER_TOO_SMAL: no slot left, or the send queue refused a set (nothing was sent; the set may be
 * tried again).
 */
public class BufferTooSmalException extends OrqException {
    private static final long serialVersionUID = 1L;

    /** The code this exception stands for. */
    public static final int CODE = -66;

    BufferTooSmalException(String call) {
        super(CODE, "ERROR_BUFFER_TOO_SMAL", call);
    }
}
