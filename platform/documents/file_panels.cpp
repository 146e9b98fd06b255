#include "platform/documents/file_panels.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>

#include "platform/runtime/alerts.h"
#include "platform/documents/type_registry.h"

namespace platform {

namespace {

FilePanels::Handlers &handlers() {
    static FilePanels::Handlers current;
    return current;
}

bool isTextual(const QString &type) {
    return type.isEmpty() || TypeRegistry::conformsTo(type, QLatin1String(types::kPlainText));
}

// The extensions a name may end in for the chosen type: the panel's own list
// for text types (which may be saved under any text extension), else the
// type's.
QStringList extensionsFor(const SavePanel &panel) {
    const QStringList ofType = TypeRegistry::extensions(panel.chosenType);
    if (panel.allowedExtensions.isEmpty() || (!isTextual(panel.chosenType) && !ofType.isEmpty()))
        return ofType;
    return panel.allowedExtensions;
}

// The offered type that a name's extension names: the chosen type when it
// is one of its own, else the first offered type it is one of; an extension
// the panel allows that is no type's names its text type.
QString typeNamedBy(const QString &suffix, const SavePanel &panel) {
    if (suffix.isEmpty() || TypeRegistry::extensions(panel.chosenType).contains(suffix, Qt::CaseInsensitive))
        return panel.chosenType;
    for (const QString &type : panel.types)
        if (TypeRegistry::extensions(type).contains(suffix, Qt::CaseInsensitive))
            return type;
    if (panel.allowedExtensions.contains(suffix, Qt::CaseInsensitive) && !isTextual(panel.chosenType))
        for (const QString &type : panel.types)
            if (isTextual(type))
                return type;
    return panel.chosenType;
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

// The save panel, which owns the name it writes: the name carries the
// extension of the type chosen, and changes with it; the question before a
// file is replaced names the file the save will write (Qt's own question
// would name the file typed, which the extension may change).
class SaveDialog : public QFileDialog {
public:
    SaveDialog(QWidget *parent, SavePanel &panel) : QFileDialog(parent, panel.title), m_panel(panel) {
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        // The desktop's panels neither tell the name typed nor let the
        // program ask before replacing; this one does both.
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::DontConfirmOverwrite);
        if (!panel.directory.isEmpty())
            setDirectory(panel.directory);
        for (const QString &type : panel.types)
            m_filters << TypeRegistry::nameFilter(type);
        if (!m_filters.isEmpty()) {
            setNameFilters(m_filters);
            selectNameFilter(m_filters.value(panel.types.indexOf(panel.chosenType)));
        }
        selectFile(panel.nameFieldStringValue);
        connect(this, &QFileDialog::filterSelected, this, [this](const QString &filter) { typeChosen(filter); });
    }

    // The file the save writes, once accepted.
    QString answer() const { return m_answer; }

    // The name typed so far, without its folder.
    QString typedName() const {
        const QStringList chosen = selectedFiles();
        return chosen.isEmpty() || QFileInfo(chosen.first()).isDir() ? QString()
                                                                     : QFileInfo(chosen.first()).fileName();
    }

    void accept() override {
        const QStringList chosen = selectedFiles();
        // A folder chosen is gone into, as the panel does.
        if (chosen.isEmpty() || QFileInfo(chosen.first()).isDir()) {
            QFileDialog::accept();
            return;
        }
        const FilePanels::TypedFile file = FilePanels::fileForTypedName(chosen.first(), m_panel);
        const QString &path = file.path;
        const QFileInfo target(path);
        if ((target.exists() || target.isSymLink()) && !target.isDir()) {
            const int answer = Alerts::runModal(
                {FilePanels::replaceQuestion(path),
                 QStringLiteral("A file with the same name already exists in “%1”. Replacing it will overwrite "
                                "its current contents.")
                     .arg(QFileInfo(target.absolutePath()).fileName()),
                 {QStringLiteral("Cancel"), QStringLiteral("Replace")},
                 AlertStyle::Warning},
                this);
            if (answer != 1)
                return;  // the panel stays, for another name
        }
        m_answer = path;
        m_panel.chosenType = file.type;
        QFileDialog::accept();
    }

private:
    void typeChosen(const QString &filter) {
        const qsizetype index = m_filters.indexOf(filter);
        if (index < 0)
            return;
        m_panel.chosenType = m_panel.types.at(index);
        if (const QString name = typedName(); !name.isEmpty())
            selectFile(FilePanels::pathWithExtension(name, m_panel));
    }

    SavePanel &m_panel;
    QStringList m_filters;
    QString m_answer;
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
    if (panel.allowsOtherFileTypes && isTextual(panel.chosenType) && !suffix.isEmpty())
        return path;
    return path + u'.' + allowed.first();
}

FilePanels::TypedFile FilePanels::fileForTypedName(const QString &path, const SavePanel &panel) {
    SavePanel named = panel;
    named.chosenType = typeNamedBy(QFileInfo(path).suffix(), panel);
    return {pathWithExtension(path, named), named.chosenType};
}

QString FilePanels::replaceQuestion(const QString &path) {
    return QStringLiteral("“%1” already exists. Do you want to replace it?").arg(QFileInfo(path).fileName());
}

bool FilePanels::runSavePanel(SavePanel &panel, QWidget *parent) {
    if (panel.chosenType.isEmpty() && !panel.types.isEmpty())
        panel.chosenType = panel.types.first();
    // "Notes.md" exported as HTML is proposed as "Notes.html".
    if (!panel.nameFieldStringValue.isEmpty())
        panel.nameFieldStringValue = pathWithExtension(panel.nameFieldStringValue, panel);
    if (handlers().save) {
        if (!handlers().save(panel))
            return false;
        const TypedFile file = fileForTypedName(panel.path, panel);
        panel.path = file.path;
        panel.chosenType = file.type;
        return true;
    }
    SaveDialog dialog(parent, panel);
    if (dialog.exec() != QDialog::Accepted || dialog.answer().isEmpty())
        return false;
    panel.path = dialog.answer();
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
