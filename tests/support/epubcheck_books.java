// Checks EPUB books with epubcheck in one Java VM, so that the VM starts and
// epubcheck's schemas load once for all of them, not once per book:
//
//   java -cp /usr/share/java/epubcheck.jar tests/support/epubcheck_books.java BOOK...
//
// Each book's report follows a line "== BOOK" and reads as the command-line
// tool's ("ERROR(RSC-007): BOOK/OEBPS/main.xhtml(3,9): ..."). The exit status
// is 1 when any book has an error or a fatal error, 0 otherwise. Running a
// source file needs a JDK (the compiler module), not only a JRE.
import com.adobe.epubcheck.api.EpubCheck;
import com.adobe.epubcheck.util.DefaultReportImpl;
import java.io.File;

public class EpubcheckBooks {
    public static void main(String[] books) {
        // The report writes errors to standard error and the rest to
        // standard output: one stream keeps each report after its heading.
        System.setErr(System.out);
        boolean allValid = true;
        for (String book : books) {
            System.out.println("== " + book);
            try {
                DefaultReportImpl report = new DefaultReportImpl(book);
                new EpubCheck(new File(book), report).validate();
                allValid &= report.getErrorCount() == 0 && report.getFatalErrorCount() == 0;
            } catch (RuntimeException | Error failure) {
                System.out.println("FATAL(CHECKER): " + book + ": " + failure);
                allValid = false;
            }
            System.out.flush();
        }
        System.exit(allValid ? 0 : 1);
    }
}
