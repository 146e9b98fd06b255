#include "platform/file_panels.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>

#include "platform/type_registry.h"

namespace platform {

namespace {

FilePanels::Handlers &handlers() {
    static FilePanels::Handlers current;
    return current;
}

// The extensions a name may end in for the chosen type: the panel's own list
// for text types (which may be saved under any text extension), else the
// type's.
QStringList extensionsFor(const SavePanel &panel) {
    const QStringList ofType = TypeRegistry::extensions(panel.chosenType);
    const bool textual = panel.chosenType.isEmpty() ||
                         TypeRegistry::conformsTo(panel.chosenType, QLatin1String(types::kPlainText));
    if (panel.allowedExtensions.isEmpty() || (!textual && !ofType.isEmpty()))
        return ofType;
    return panel.allowedExtensions;
}

// Whether `suffix` is the extension of a kind the panel offers.
bool namesOfferedKind(const QString &suffix, const SavePanel &panel) {
    if (panel.allowedExtensions.contains(suffix, Qt::CaseInsensitive))
        return true;
    for (const QString &type : panel.types)
        if (TypeRegistry::extensions(type).contains(suffix, Qt::CaseInsensitive))
            return true;
    return false;
}

// Qt's panels choose files or folders, never either: this one, asked to,
// takes a selected folder as the answer where the others would go into it.
class OpenDialog : public QFileDialog {
public:
    OpenDialog(QWidget *parent, const QString &title, bool foldersToo)
        : QFileDialog(parent, title), m_foldersToo(foldersToo) {
        if (foldersToo)
            setOption(QFileDialog::DontUseNativeDialog);  // the desktop's panels cannot take both
    }
    void accept() override {
        const QStringList chosen = selectedFiles();
        if (m_foldersToo && chosen.size() == 1 && QFileInfo(chosen.first()).isDir()) {
            m_folder = chosen.first();
            done(QDialog::Accepted);
            return;
        }
        QFileDialog::accept();
    }
    QStringList answer() const { return m_folder.isEmpty() ? selectedFiles() : QStringList{m_folder}; }

private:
    bool m_foldersToo;
    QString m_folder;
};

}  // namespace

FilePanels::Handlers FilePanels::setHandlers(Handlers replacement) {
    return std::exchange(handlers(), std::move(replacement));
}

QString FilePanels::pathWithExtension(const QString &path, const SavePanel &panel) {
    const QStringList allowed = extensionsFor(panel);
    const QString suffix = QFileInfo(path).suffix();
    if (allowed.isEmpty() || allowed.contains(suffix, Qt::CaseInsensitive))
        return path;
    // "Notes.md" saved as HTML becomes "Notes.html".
    if (!suffix.isEmpty() && namesOfferedKind(suffix, panel))
        return path.left(path.size() - suffix.size()) + allowed.first();
    if (panel.allowsOtherFileTypes && !suffix.isEmpty())
        return path;
    return path + u'.' + allowed.first();
}

bool FilePanels::runSavePanel(SavePanel &panel, QWidget *parent) {
    if (panel.chosenType.isEmpty() && !panel.types.isEmpty())
        panel.chosenType = panel.types.first();
    if (handlers().save) {
        if (!handlers().save(panel))
            return false;
        panel.path = pathWithExtension(panel.path, panel);
        return true;
    }
    QFileDialog dialog(parent, panel.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!panel.directory.isEmpty())
        dialog.setDirectory(panel.directory);
    QStringList filters;
    for (const QString &type : panel.types)
        filters << TypeRegistry::nameFilter(type);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.selectFile(panel.nameFieldStringValue);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
    if (chosen >= 0)
        panel.chosenType = panel.types.at(chosen);
    panel.path = pathWithExtension(dialog.selectedFiles().first(), panel);
    return true;
}

QStringList FilePanels::runOpenPanel(const OpenPanel &panel, QWidget *parent) {
    if (handlers().open)
        return handlers().open(panel);
    OpenDialog dialog(parent, panel.title, panel.canChooseDirectories);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(panel.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (!panel.directory.isEmpty())
        dialog.setDirectory(panel.directory);
    QStringList filters;
    for (const QString &type : panel.types)
        filters << TypeRegistry::nameFilter(type);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters << QStringLiteral("All files (*)"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.answer();
}

bool FilePanels::runPrintPanel(QPrinter &printer, QWidget *parent) {
    if (handlers().print)
        return handlers().print(printer);
    // Qt's own dialog: its printers include "Print to File (PDF)".
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

ScriptedPanels::ScriptedPanels() {
    m_previous = FilePanels::setHandlers({
        [this](SavePanel &panel) {
            m_savePanels.append(panel);
            if (m_save.isEmpty())
                return false;
            const std::optional<SaveAnswer> answer = m_save.takeFirst();
            if (!answer)
                return false;
            panel.path = answer->path;
            if (!answer->type.isEmpty())
                panel.chosenType = answer->type;
            return true;
        },
        [this](const OpenPanel &panel) {
            m_openPanels.append(panel);
            return m_open.isEmpty() ? QStringList() : m_open.takeFirst();
        },
        [this](QPrinter &printer) {
            m_printPanels++;
            return !m_print.isEmpty() && m_print.takeFirst()(printer);
        },
    });
}

ScriptedPanels::~ScriptedPanels() { FilePanels::setHandlers(std::move(m_previous)); }

}  // namespace platform
