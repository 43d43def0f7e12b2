package org.orq;

/**
 * A call of the library failed: {@link #code()} is the negative code it returned
 * (one of the host header's ERRORS) and {@link #codeName()} that code's name.
 * Every code has a subclass of its own, so a caller catches exactly the failures
 * it can handle ({@link ComponentNotSupportedException} for -62, ...); a code the
 * binding does not know (a newer library) arrives as this base class.
 */
public class OrqException extends Exception {
    private static final long serialVersionUID = 1L;

    private final int code;
    private final String codeName;

    OrqException(int code, String codeName, String call) {
        super(call + ": " + codeName + " (" + code + ")");
        this.code = code;
        this.codeName = codeName;
    }

    /** The negative code the library returned. */
    public int code() {
        return code;
    }

    /**
     * The code's name in the host header, e.g. "ERROR_COMPONENT_NOT_SUPPORTED"; "unknown" for a code this
     * binding does not know.
     */
    public String codeName() {
        return codeName;
    }

    /** The exception for a failed {@code call} that returned {@code code} (never 0). */
    static OrqException of(int code, String call) {
        switch (code) {
            case UnexpectedException.CODE: return new UnexpectedException(call);
            case ComponentNotSupportedException.CODE: return new ComponentNotSupportedException(call);
            case DatatypeNotSupportedException.CODE: return new DatatypeNotSupportedException(call);
            case ComponenttypeNotSupportedException.CODE: return new ComponenttypeNotSupportedException(call);
            case IndexNotSupportedException.CODE: return new IndexNotSupportedException(call);
            case BufferTooSmalException.CODE: return new BufferTooSmalException(call);
            case InvalidValueException.CODE: return new InvalidValueException(call);
            case StartDllException.CODE: return new StartDllException(call);
            default: return new OrqException(code, "unknown", call);
        }
    }
}
