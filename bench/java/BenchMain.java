// The application of the real-runtime benchmark: starts, prints one line
// and ends, so that start-up dominates.
public class BenchMain {
    public static void main(String[] args) {
        System.out.println("bench " + args.length);
    }
}
