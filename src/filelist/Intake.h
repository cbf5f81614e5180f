#pragma once
// Filling the list: the add and cover dialogs, the folder scan, drops and the
// folder pickers.
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

class Form1;
class QWidget;

namespace intake {
class CoverMatcher;
struct FolderListing;
}  // namespace intake

class Intake : public QObject {
    Q_OBJECT
public:
    explicit Intake(Form1& form);
    ~Intake() override;

    void CmdAddMp4_Click();
    void CmdCover_Click();
    void CmdReadMp4_Click();
    void CmdIndir_Click();
    void CmdOutDir_Click();
    void MSF_OLEDragDrop(const QStringList& paths);

    // One folder and, with ChSub, its whole subtree, depth first. False once
    // the window has closed, so callers stop too.
    bool ScanFolderTree(const QString& folder, const QString& filter);
    // One folder's own files.
    bool ScanFolderFiles(const QString& folder, const QString& filter);

private:
    // What one scan carries from folder to folder.
    struct Scan {
        QSet<QPair<unsigned long long, unsigned long long>> seen;  // folders walked (device, inode)
        std::unique_ptr<intake::CoverMatcher> covers;
        Scan();
        ~Scan();
    };
    bool scanTree(Scan& scan, const QString& folder, const QString& filter);
    bool scanFiles(Scan& scan, const QString& folder, const intake::FolderListing& listing, const QString& filter);

    // The cells of a video row by mode; false when a mode-1 auto-match finds
    // no cover, so no row is added.
    bool videoRow(int mode, const QString& name, const QString& folder, const QString& fullPath,
                  intake::CoverMatcher& covers, const QStringList& coverExts, QStringList& cells);
    // Adds the row unless a cell holds a character that a row cannot carry.
    void addRow(const QStringList& cells);
    void probe(const QString& path);
    // Lets the window breathe; false when it has been closed meanwhile.
    bool yield();
    void refuse(const QString& text, QWidget* focus);
    void inform(const QString& text);
    // Busy and the controls a multiple add or a scan disables; the update
    // button gets back the state the add found it in.
    void setWorking(QWidget* button, bool working);

    Form1& f_;
    bool updateWasEnabled_ = false;
};
