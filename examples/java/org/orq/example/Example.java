package org.orq.example;

import java.time.Duration;
import org.orq.Component;
import org.orq.DataId;
import org.orq.Link;
import org.orq.OrqException;

/**
 * A small Java host on the package org.orq: opens a link on the connection
 * given as its argument, waits for the flight board (ID 5, or the second
 * argument), lists the nodes, reads the board's position once it reports a fix
 * and sets its GPS mode to Home, then watches the board report the new mode.
 *
 *     javac -cp P/share/java/orq.jar -d classes org/orq/example/Example.java
 *     java -Djava.library.path=P/lib -cp P/share/java/orq.jar:classes org.orq.example.Example /dev/ttyUSB0
 */
public final class Example {
    private static final int HOME = 2;
    private static final Duration WAIT = Duration.ofSeconds(30);

    private Example() {
    }

    public static void main(String[] args) throws OrqException, InterruptedException {
        int board = args.length > 1 ? Integer.parseInt(args[1]) : 5;
        int mode;
        try (Link link = Link.open(1, args[0])) {
            // Throws ComponentNotSupportedException when the board stays silent.
            link.waitNode(board, WAIT);
            StringBuilder line = new StringBuilder("nodes:");
            for (Component node : link.components()) {
                line.append(" ").append(node.id()).append(" (type ").append(node.type()).append(")");
            }
            System.out.println(line);

            long end = System.nanoTime() + WAIT.toNanos();
            while (link.get(board, DataId.FlightBoard.GPS_STATUS, 0) == 0 && System.nanoTime() < end) {
                Thread.sleep(50);
            }
            System.out.println("flight board " + board + " position: longitude "
                    + link.get(board, DataId.FlightBoard.LONGITUDE, 0) + " latitude "
                    + link.get(board, DataId.FlightBoard.LATITUDE, 0) + " altitude "
                    + link.get(board, DataId.FlightBoard.ALTITUDE, 0) + " (units "
                    + DataId.FlightBoard.LONGITUDE.unit() + ", " + DataId.FlightBoard.ALTITUDE.unit() + ")");

            // GPS_MODE sets the commanded mode and reads the mode the board reports.
            link.set(board, DataId.FlightBoard.GPS_MODE, 0, HOME);
            end = System.nanoTime() + WAIT.toNanos();
            mode = link.get(board, DataId.FlightBoard.GPS_MODE, 0);
            while (mode != HOME && System.nanoTime() < end) {
                Thread.sleep(50);
                mode = link.get(board, DataId.FlightBoard.GPS_MODE, 0);
            }
            System.out.println("flight board " + board + " GPS mode: " + mode);
        }
        if (mode != HOME) {
            System.exit(1);
        }
    }
}
