package org.orq;

/**
 * -62 ERROR_COMPONENT_NOT_SUPPORTED: no such node (yet), its lock not obtained, or (from {@link Link#waitNode})
 * the time ran out before the node was typed.
 */
public class ComponentNotSupportedException extends OrqException {
    private static final long serialVersionUID = 1L;

    /** The code this exception stands for. */
    public static final int CODE = -62;

    ComponentNotSupportedException(String call) {
        super(CODE, "ERROR_COMPONENT_NOT_SUPPORTED", call);
    }
}
