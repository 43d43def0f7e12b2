package org.orq;

/**
 * -67 ERROR_INVALID_VALUE: the data ID does not accept that value, or a node ID outside 1..255 or a negative
 * time was given.
 */
public class InvalidValueException extends OrqException {
    private static final long serialVersionUID = 1L;

    /** The code this exception stands for. */
    public static final int CODE = -67;

    InvalidValueException(String call) {
        super(CODE, "ERROR_INVALID_VALUE", call);
    }
}
