package org.orq;

/** -65 ERROR_INDEX_NOT_SUPPORTED: the index is outside the field. */
public class IndexNotSupportedException extends OrqException {
    private static final long serialVersionUID = 1L;

    /** The code this exception stands for. */
    public static final int CODE = -65;

    IndexNotSupportedException(String call) {
        super(CODE, "ERROR_INDEX_NOT_SUPPORTED", call);
    }
}
