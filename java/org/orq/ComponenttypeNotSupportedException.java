package org.orq;

/** -64 ERROR_COMPONENTTYPE_NOT_SUPPORTED: the node's type code is neither 0 nor 1. */
public class ComponenttypeNotSupportedException extends OrqException {
    private static final long serialVersionUID = 1L;

    /** The code this exception stands for. */
    public static final int CODE = -64;

    ComponenttypeNotSupportedException(String call) {
        super(CODE, "ERROR_COMPONENTTYPE_NOT_SUPPORTED", call);
    }
}
