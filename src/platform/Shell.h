#pragma once
// Opening documents, folders and addresses, selecting a file in the file
// manager, and starting programs without a shell.
#include <QString>
#include <QStringList>
#include <optional>

class Shell {
public:
    virtual ~Shell() = default;
    // A file, folder or web address with the desktop's default handler.
    // A relative file is taken inside workDir; an empty target opens "/".
    // Only a "scheme://..." target without a workDir is a web address.
    virtual void Open(const QString& target, const QString& workDir = {}) = 0;
    // Shows the file's folder with the file selected (or just the folder).
    virtual void SelectInFileManager(const QString& file) = 0;
    // Starts program (a path, or a name inside workDir) with exactly these
    // arguments, stdio on /dev/null. Returns 42 when it started, 2 when the
    // program file is missing, another value up to 32 on other failures.
    // The started process is reaped by Reap(); pid receives its id. It ends
    // when this program ends, however that happens.
    virtual int Start(const QString& program, const QStringList& args, const QString& workDir,
                      long long* pid = nullptr) = 0;
    // As Start, for a program meant to outlive this one (the restarter of an
    // update).
    virtual int StartOutliving(const QString& program, const QStringList& args, const QString& workDir) {
        return Start(program, args, workDir, nullptr);
    }
    // Collects every finished child so none lingers as a zombie.
    virtual void Reap() = 0;
    // Exit status of a started process once it has ended: the exit code, or
    // 128 + signal when it was killed; nothing while it runs or when unknown.
    virtual std::optional<int> ExitStatus(long long pid) = 0;
};
