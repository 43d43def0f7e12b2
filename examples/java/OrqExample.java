/**
 * A small Java host of liborq: connects on the serial device given as its
 * argument, lists the nodes, reads the flight board's position and sets its
 * GPS mode to Home, then watches the board report the new mode. The position
 * is read once the board reports a fix.
 *
 *     javac -cp P/share/java/orq.jar OrqExample.java
 *     java -Djava.library.path=P/lib -cp P/share/java/orq.jar:. OrqExample /dev/ttyUSB0
 */
public class OrqExample {
    static final int LONGITUDE = 18, LATITUDE = 19, ALTITUDE = 20, GPS_STATUS = 22, GPS_MODE = 32, HOME = 2;

    public static void main(String[] args) throws InterruptedException {
        Dll dll = new Dll();
        int result = dll.init(1, args[0]);
        if (result != 0) {
            System.err.println("init failed: " + result);
            System.exit(1);
        }
        long end = System.currentTimeMillis() + 30000;
        int board = -1;
        int[] nodes = new int[0];
        while (board < 0 && System.currentTimeMillis() < end) {
            nodes = dll.getComponents();  // ID, type, ID, type, ...
            for (int i = 0; i + 1 < nodes.length; i += 2) {
                if (nodes[i + 1] == 1) board = nodes[i];
            }
            if (board < 0) Thread.sleep(50);
        }
        StringBuilder line = new StringBuilder("nodes:");
        for (int i = 0; i + 1 < nodes.length; i += 2) {
            line.append(" ").append(nodes[i]).append(" (type ").append(nodes[i + 1]).append(")");
        }
        System.out.println(line);
        if (board < 0) {
            dll.deinit();
            System.exit(1);
        }
        end = System.currentTimeMillis() + 30000;
        while (dll.getData(board, GPS_STATUS, 0) == 0 && System.currentTimeMillis() < end) {
            Thread.sleep(50);
        }
        System.out.println("flight board " + board + " position: longitude " + dll.getData(board, LONGITUDE, 0)
                + " latitude " + dll.getData(board, LATITUDE, 0) + " altitude " + dll.getData(board, ALTITUDE, 0));
        result = dll.setData(board, GPS_MODE, HOME, 0);
        int mode = dll.getData(board, GPS_MODE, 0);
        end = System.currentTimeMillis() + 30000;
        while (result == 0 && mode != HOME && System.currentTimeMillis() < end) {
            Thread.sleep(50);
            mode = dll.getData(board, GPS_MODE, 0);
        }
        System.out.println("flight board " + board + " GPS mode: " + mode);
        dll.deinit();
        System.exit(result == 0 && mode == HOME ? 0 : 1);
    }
}
