package org.orq;

import java.lang.reflect.Method;
import java.time.Duration;
import java.util.concurrent.atomic.AtomicReference;

/**
 * A Java host on Link for the test that runs it: the device given as the first
 * argument carries a flight board with ID 5. Prints one line "RESULT name
 * value" per check, the value being what a call returned or the simple name
 * of the exception it threw; for every code, "CODE code class codeName".
 * In the package org.orq to reach the code-to-exception table itself.
 */
public class LinkCheck {
    private static final Duration LONG = Duration.ofSeconds(30);

    interface Call {
        Object run() throws Exception;
    }

    private static void result(String name, Call call) {
        String value;
        try {
            value = String.valueOf(call.run());
        } catch (Exception e) {
            value = e.getClass().getSimpleName();
        }
        System.out.println("RESULT " + name + " " + value);
        System.out.flush();
    }

    private static boolean inNative(Thread thread, String method) {
        StackTraceElement[] stack = thread.getStackTrace();
        return stack.length > 0 && stack[0].isNativeMethod() && stack[0].getMethodName().equals(method);
    }

    public static void main(String[] args) throws Exception {
        for (int code = -69; code <= -60; ++code) {
            OrqException e = OrqException.of(code, "check");
            System.out.println("CODE " + code + " " + e.getClass().getSimpleName() + " " + e.codeName() + " "
                    + e.code());
        }

        String device = args[0];
        result("openMissingDevice", () -> Link.open(1, "/nonexistent/orq-no-such-device"));
        result("openNul", () -> Link.open(1, device + "\0"));
        result("openOwnIdZero", () -> Link.open(0, device));
        result("openOwnId256", () -> Link.open(256, device));

        Link link = Link.open(1, device);
        result("waitNode", () -> {
            link.waitNode(5, LONG);
            return "typed";
        });
        // A second open must leave the first link running: a restart would
        // forget the board, which would then no longer be typed at once.
        result("secondOpen", () -> Link.open(1, device));
        result("typedAfterSecondOpen", () -> {
            link.waitNode(5, Duration.ZERO);
            return "typed";
        });
        result("boardType", () -> link.get(5, DataId.FlightBoard.TYPE, 0));
        result("boardListed", () -> link.components().contains(new Component(5, Component.FLIGHT_BOARD)));
        result("ownLinkFramesPositive", () -> link.get(1, DataId.Link.RECEIVED_FRAMES, 0) > 0);
        result("getNeverHeard", () -> link.get(77, 30, 0));
        result("setNoEntry", () -> {
            link.set(5, 1, 0, 0);
            return "set";
        });
        result("setBadIndex", () -> {
            link.set(5, DataId.FlightBoard.PWM_OUTPUT, 4, 1);
            return "set";
        });
        result("setMotorOn", () -> {
            link.set(5, DataId.FlightBoard.MOTOR_ON, 0, 1);
            return "set";
        });
        result("waitNeverHeard", () -> {
            link.waitNode(77, Duration.ofMillis(50));
            return "typed";
        });
        result("waitBadId", () -> {
            link.waitNode(0, Duration.ZERO);
            return "typed";
        });
        result("waitNegativeTime", () -> {
            link.waitNode(5, Duration.ofMillis(-1));
            return "typed";
        });
        // Longer than a C int of milliseconds: waits as long as the library can.
        result("waitLongestTime", () -> {
            link.waitNode(5, Duration.ofSeconds(Long.MAX_VALUE));
            return "typed";
        });

        // A close on another thread ends a wait in progress.
        AtomicReference<String> waitEnd = new AtomicReference<>("still waiting");
        Thread waiter = new Thread(() -> {
            try {
                link.waitNode(77, Duration.ofSeconds(120));
                waitEnd.set("typed");
            } catch (Exception e) {
                waitEnd.set(e.getClass().getSimpleName());
            }
        });
        waiter.start();
        long deadline = System.nanoTime() + LONG.toNanos();
        while (!inNative(waiter, "waitNode0") && System.nanoTime() < deadline) {
            Thread.sleep(5);
        }
        link.close();
        waiter.join(LONG.toMillis());
        result("waitEndedByClose", waitEnd::get);

        result("closeAgain", () -> {
            link.close();
            return "closed";
        });
        result("isOpenAfterClose", link::isOpen);
        result("getAfterClose", () -> link.get(5, DataId.FlightBoard.TYPE, 0));
        result("setAfterClose", () -> {
            link.set(5, DataId.FlightBoard.MOTOR_ON, 0, 0);
            return "set";
        });
        result("waitAfterClose", () -> {
            link.waitNode(5, Duration.ZERO);
            return "typed";
        });
        result("componentsAfterClose", link::components);

        // A new link after the close; the old Link's close must not stop it.
        Link again = Link.open(1, device);
        link.close();
        result("reopenedWaitNode", () -> {
            again.waitNode(5, LONG);
            return "typed";
        });
        again.close();

        // A link started through Dll is running too: open leaves it alone.
        Class<?> dllClass = Class.forName("Dll");
        Object dll = dllClass.getConstructor().newInstance();
        Method init = dllClass.getMethod("init", int.class, String.class);
        result("dllInit", () -> init.invoke(dll, 1, device));
        result("openWhileDllRuns", () -> Link.open(1, device));
        dllClass.getMethod("deinit").invoke(dll);
        result("openAfterDllDeinit", () -> {
            try (Link last = Link.open(1, device)) {
                return last.isOpen() ? "opened" : "closed";
            }
        });
    }
}
