package demo;

/**
 * The sample application of the demo: shows how the launcher started it.
 */
public final class Main {
    private Main() {
    }

    public static void main(String[] args) {
        System.out.println("Hello from the Demo application!");
        System.out.println();
        System.out.println("Arguments (" + args.length + "):");
        for (int i = 0; i < args.length; i++) {
            System.out.println("  [" + i + "] \"" + args[i] + "\"");
        }
        System.out.println();
        System.out.println("System properties:");
        for (String name : new String[] {
                "vantry.app-path", "demo.greeting", "java.class.path",
                "java.home", "java.version", "java.vm.name"}) {
            System.out.println("  " + name + " = " + System.getProperty(name));
        }
    }
}
