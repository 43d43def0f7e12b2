package org.orq;

/** -63 ERROR_DATATYPE_NOT_SUPPORTED: the data ID has no entry in that direction for the node's type. */
public class DatatypeNotSupportedException extends OrqException {
    private static final long serialVersionUID = 1L;

    /** The code this exception stands for. */
    public static final int CODE = -63;

    DatatypeNotSupportedException(String call) {
        super(CODE, "ERROR_DATATYPE_NOT_SUPPORTED", call);
    }
}
