package vantrytest;

import java.nio.charset.StandardCharsets;

/**
 * The application that the real-runtime tests start through the launcher.
 * It prints what it received in a form that survives any console encoding:
 * one line per item, the value as the hexadecimal digits of its UTF-8 bytes.
 *
 *   arg <hex>             one line per argument, in order
 *   prop <name> <hex>     the system properties the tests look at
 *                         ("-" in place of the digits when a property is unset)
 *
 * The system property "vantrytest.exit", when set, is the exit status that
 * the program ends with through System.exit; otherwise main returns. When
 * "vantrytest.throw" is set, main prints nothing and throws an
 * IllegalStateException with its value as the message.
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

    public static void main(String[] args) {
        String failure = System.getProperty("vantrytest.throw");
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
        System.out.print(out);
        System.out.flush();

        String exit = System.getProperty("vantrytest.exit");
        if (exit != null) {
            System.exit(Integer.parseInt(exit));
        }
    }
}
