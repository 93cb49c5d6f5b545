package vantrytest;

import com.sun.tools.attach.VirtualMachine;

/**
 * Attaches to the Java process whose id is the first argument, as any
 * program of the same user could to load an agent, and prints "attached",
 * or the name of the exception that kept it out.
 */
public final class Attach {
    private Attach() {
    }

    public static void main(String[] args) {
        try {
            VirtualMachine vm = VirtualMachine.attach(args[0]);
            vm.detach();
            System.out.println("attached");
        } catch (Exception e) {
            System.out.println(e.getClass().getName());
        }
    }
}
