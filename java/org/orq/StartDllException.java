package org.orq;

/**
 * -68 ERROR_START_DLL: the link did not start (the connection did not open, or another link already runs in this
 * process), or it stopped while a call waited on it.
 */
public class StartDllException extends OrqException {
    private static final long serialVersionUID = 1L;

    /** The code this exception stands for. */
    public static final int CODE = -68;

    StartDllException(String call) {
        super(CODE, "ERROR_START_DLL", call);
    }
}
