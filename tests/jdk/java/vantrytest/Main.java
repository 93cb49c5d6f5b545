package vantrytest;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Comparator;
import java.util.stream.Stream;

/**
 * The application that the real-runtime tests start through the launcher.
 * It prints what it received in a form that survives any console encoding:
 * one line per item, the value as the hexadecimal digits of its UTF-8 bytes.
 *
 *   arg <hex>             one line per argument, in order
 *   prop <name> <hex>     the system properties the tests look at
 *                         ("-" in place of the digits when a property is unset)
 *   map <hex>             with "vantrytest.maps" set: each class data archive
 *                         that the runtime has mapped into this process
 *
 * What it does besides, steered by system properties:
 *   vantrytest.await      first waits until this file exists
 *   vantrytest.throw      main prints nothing and throws an
 *                         IllegalStateException with this message (also
 *                         the variable VANTRYTEST_THROW)
 *   vantrytest.touch      a file to create (or empty)
 *   vantrytest.delete     a directory to delete with everything in it, when
 *                         it exists
 *   vantrytest.sleep      milliseconds to sleep before ending
 *   vantrytest.security   "install": installs a security manager last and
 *                         prints a set of two strings, through
 *                         vantrytestlib.Printer when its jar is on the
 *                         class path
 *   vantrytest.pid        a file to write the process id to, first thing
 *   vantrytest.children   "wait": before ending, waits for every child
 *                         process, as supervisors and test runners do
 *   vantrytest.exit       the exit status to end with through System.exit;
 *                         otherwise main returns
 */
public final class Main {
    private static final String[] PROPERTIES = {
        "vantry.app-path", "vantry.test", "java.class.path", "java.home"
    };

    private Main() {
    }

    private static String hex(String value) {
        if (value == null) {
            return "-";
        }
        StringBuilder text = new StringBuilder();
        for (byte b : value.getBytes(StandardCharsets.UTF_8)) {
            text.append(String.format("%02x", b & 0xff));
        }
        return text.toString();
    }

    private static void mappedArchives(StringBuilder out) throws IOException {
        try (Stream<String> lines = Files.lines(Paths.get("/proc/self/maps"))) {
            lines.map(line -> line.substring(line.lastIndexOf(' ') + 1))
                    .filter(path -> path.endsWith(".jsa"))
                    .distinct()
                    .forEach(path -> out.append("map ").append(hex(path))
                            .append('\n'));
        }
    }

    private static String describe(java.util.List<String> items) throws Exception {
        try {
            return (String) Class.forName("vantrytestlib.Printer")
                    .getMethod("describe", java.util.Collection.class)
                    .invoke(null, items);
        } catch (ClassNotFoundException e) {
            return new java.util.TreeSet<>(items).toString();
        }
    }

    @SuppressWarnings("removal")
    public static void main(String[] args) throws Exception {
        String pidFile = System.getProperty("vantrytest.pid");
        if (pidFile != null) {
            Files.write(Paths.get(pidFile), Long.toString(
                    ProcessHandle.current().pid()).getBytes(StandardCharsets.UTF_8));
        }
        String await = System.getProperty("vantrytest.await");
        while (await != null && !Files.exists(Paths.get(await))) {
            Thread.sleep(10);
        }
        String failure = System.getProperty("vantrytest.throw",
                System.getenv("VANTRYTEST_THROW"));
        if (failure != null) {
            throw new IllegalStateException(failure);
        }
        StringBuilder out = new StringBuilder();
        for (String arg : args) {
            out.append("arg ").append(hex(arg)).append('\n');
        }
        for (String name : PROPERTIES) {
            out.append("prop ").append(name).append(' ')
                    .append(hex(System.getProperty(name))).append('\n');
        }
        if (System.getProperty("vantrytest.maps") != null) {
            mappedArchives(out);
        }
        System.out.print(out);
        System.out.flush();

        String touch = System.getProperty("vantrytest.touch");
        if (touch != null) {
            Files.write(Paths.get(touch), new byte[0]);
        }
        String delete = System.getProperty("vantrytest.delete");
        if (delete != null && Files.exists(Paths.get(delete))) {
            try (Stream<Path> paths = Files.walk(Paths.get(delete))) {
                paths.sorted(Comparator.reverseOrder()).forEach(p -> p.toFile().delete());
            }
        }
        String sleep = System.getProperty("vantrytest.sleep");
        if (sleep != null) {
            Thread.sleep(Long.parseLong(sleep));
        }
        if ("wait".equals(System.getProperty("vantrytest.children"))) {
            ProcessHandle.current().children()
                    .forEach(child -> child.onExit().join());
        }
        String exit = System.getProperty("vantrytest.exit");
        if ("install".equals(System.getProperty("vantrytest.security"))) {
            // Classes loaded under the security manager's eye.
            System.setSecurityManager(new SecurityManager());
            System.out.println(describe(java.util.List.of("b", "a")));
        }
        if (exit != null) {
            System.exit(Integer.parseInt(exit));
        }
    }
}
