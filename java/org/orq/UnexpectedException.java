package org.orq;

/** -61 ERROR_UNEXPECTED_EXCEPTION: an unforeseen failure inside the library. */
public class UnexpectedException extends OrqException {
    private static final long serialVersionUID = 1L;

    /** The code this exception stands for. */
    public static final int CODE = -61;

    UnexpectedException(String call) {
        super(CODE, "ERROR_UNEXPECTED_EXCEPTION", call);
    }
}
