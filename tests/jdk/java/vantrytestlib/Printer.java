package vantrytestlib;

/**
 * A class of a jar of its own, which the test application loads only after
 * it has installed a security manager.
 */
public final class Printer {
    private Printer() {
    }

    public static String describe(java.util.Collection<String> items) {
        return new java.util.TreeSet<>(items).toString();
    }
}
