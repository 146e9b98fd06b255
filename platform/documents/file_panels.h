// The open, save and print panels, and answers for tests in their place.
//
//   SavePanel panel;
//   panel.types = {"public.html", "org.tug.tex"};   // offered, first chosen
//   panel.nameFieldStringValue = "Notes";
//   if (FilePanels::runSavePanel(panel, window)) write(panel.path, panel.chosenType);
//
// Tests answer panels instead of showing them: while a ScriptedPanels lives,
// each panel is recorded and answered from its script on the calling thread;
// a scripted answer is the user's whole answer, any question about replacing
// a file included.
// Main thread only.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QPrinter;
class QWidget;

namespace platform {

struct SavePanel {
    QString title;
    QString directory;
    // The proposed file name (with or without its extension).
    QString nameFieldStringValue;
    // The type identifiers the user may save as, in the order offered; the
    // first is chosen at the start.
    QStringList types;
    // Extensions a chosen name may end in; the first is added to a name that
    // ends in none of them. Empty: the chosen type's extensions.
    QStringList allowedExtensions;
    bool canSelectHiddenExtension = false;
    bool allowsOtherFileTypes = false;
    // The tags the saved file is to carry.
    QStringList tagNames;

    // The answer.
    QString path;
    QString chosenType;
};

struct OpenPanel {
    QString title;
    QString directory;
    QStringList types;  // empty: any file
    bool allowsMultipleSelection = false;
    // Folders may be chosen as well as files (a folder opens as the user
    // goes into it; chosen, it is the answer).
    bool canChooseDirectories = false;
};

class FilePanels {
public:
    // True when the user chose a file: `panel.path` and `panel.chosenType`
    // hold the answer (fileForTypedName of the name typed). The name
    // proposed carries the extension of the type chosen and follows the
    // type the user picks; a file the save would replace is replaced only
    // after the user agreed to it by its name (Cancel keeps the panel open).
    static bool runSavePanel(SavePanel &panel, QWidget *parent = nullptr);
    // The files chosen; empty when the panel was cancelled.
    static QStringList runOpenPanel(const OpenPanel &panel, QWidget *parent = nullptr);
    // Lets the user choose a printer and its settings; false when cancelled.
    static bool runPrintPanel(QPrinter &printer, QWidget *parent = nullptr);

    // The path with an allowed extension for the chosen type: an extension
    // of another offered type gives way to the chosen type's.
    static QString pathWithExtension(const QString &path, const SavePanel &panel);
    // What a name typed into the panel saves: the file and its type. An
    // extension that names one of the offered types chooses that type (the
    // chosen type when it names that one too); any other name is saved in
    // the chosen type, with its extension added unless it is a text type
    // and the panel allows other extensions.
    struct TypedFile {
        QString path, type;
    };
    static TypedFile fileForTypedName(const QString &path, const SavePanel &panel);
    // The question the save panel asks before the file at `path` (the one
    // the save writes) is replaced.
    static QString replaceQuestion(const QString &path);

    using SaveHandler = std::function<bool(SavePanel &)>;
    using OpenHandler = std::function<QStringList(const OpenPanel &)>;
    using PrintHandler = std::function<bool(QPrinter &)>;
    struct Handlers {
        SaveHandler save;
        OpenHandler open;
        PrintHandler print;
    };
    // Where panels go instead of the screen; returns the handlers replaced.
    static Handlers setHandlers(Handlers handlers);
};

// Answers panels from a script while it lives. A save panel takes the next
// save answer (a path and a type, or nothing for Cancel); an open panel the
// next list of files; a print panel the next print answer. A panel without
// an answer left is cancelled.
class ScriptedPanels {
public:
    struct SaveAnswer {
        QString path;
        QString type;  // empty: the panel's first type
    };
    ScriptedPanels();
    ~ScriptedPanels();
    ScriptedPanels(const ScriptedPanels &) = delete;
    ScriptedPanels &operator=(const ScriptedPanels &) = delete;

    void answerSave(std::optional<SaveAnswer> answer) { m_save.append(std::move(answer)); }
    void answerOpen(QStringList paths) { m_open.append(std::move(paths)); }
    // A print panel answered by this function (which sets up the printer).
    void answerPrint(std::function<bool(QPrinter &)> answer) { m_print.append(std::move(answer)); }

    const QList<SavePanel> &savePanels() const { return m_savePanels; }
    const QList<OpenPanel> &openPanels() const { return m_openPanels; }
    int printPanels() const { return m_printPanels; }

private:
    QList<std::optional<SaveAnswer>> m_save;
    QList<QStringList> m_open;
    QList<std::function<bool(QPrinter &)>> m_print;
    QList<SavePanel> m_savePanels;
    QList<OpenPanel> m_openPanels;
    int m_printPanels = 0;
    FilePanels::Handlers m_previous;
};

}  // namespace platform
