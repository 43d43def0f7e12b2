/**
 * A small Java host: starts the library through Dll on the device given as
 * the first argument, where a flight board with ID 5 answers, and prints one
 * line "RESULT name value" per call, for the test that runs it.
 */
public class HostCheck {
    private static void result(String name, int value) {
        System.out.println("RESULT " + name + " " + value);
        System.out.flush();
    }

    public static void main(String[] args) throws InterruptedException {
        Dll dll = new Dll();
        result("componentsBeforeInit", dll.getComponents().length);
        result("initMissingDevice", dll.init(5, "/nonexistent/orq-no-such-device"));
        result("initNullDevice", dll.init(5, null));
        result("init", dll.init(5, args[0]));

        // The board is usable once its type reply has made it a flight-board model.
        long deadline = System.currentTimeMillis() + 30000;
        int type = dll.getData(5, 30, 0);
        while (type != 1 && System.currentTimeMillis() < deadline) {
            Thread.sleep(20);
            type = dll.getData(5, 30, 0);
        }
        result("boardType", type);
        int[] nodes = dll.getComponents();
        result("componentsPairs", nodes.length % 2);
        int listedType = -2;
        for (int i = 0; i + 1 < nodes.length; i += 2) {
            if (nodes[i] == 5) listedType = nodes[i + 1];
        }
        result("componentsBoardType", listedType);
        result("neverHeard", dll.getData(77, 30, 0));
        // The library runs under ID 1 whatever Java passed: ID 1 names its own link.
        result("ownLinkMessages", dll.getData(1, 46, 0));
        result("setNoEntry", dll.setData(5, 1, 0, 0));
        result("setBadIndex", dll.setData(5, 54, 1, 4));
        result("setMotorOn", dll.setData(5, 31, 1, 0));
        // 32 sets the commanded mode but reads the mode the board reports, so
        // reading back 1 shows that the sets went out and the board obeyed.
        result("setGpsHold", dll.setData(5, 32, 1, 0));
        deadline = System.currentTimeMillis() + 30000;
        int mode = dll.getData(5, 32, 0);
        while (mode != 1 && System.currentTimeMillis() < deadline) {
            Thread.sleep(20);
            mode = dll.getData(5, 32, 0);
        }
        result("gpsModeReported", mode);
        result("deinit", dll.deinit());
        // No link carries a set after deinit: the code says so.
        result("setAfterDeinit", dll.setData(5, 31, 0, 0));
    }
}
