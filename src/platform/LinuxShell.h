#pragma once
#include "platform/Shell.h"

#include <map>

class LinuxShell : public Shell {
public:
    void Open(const QString& target, const QString& workDir) override;
    void SelectInFileManager(const QString& file) override;
    int Start(const QString& program, const QStringList& args, const QString& workDir,
              long long* pid) override;
    int StartOutliving(const QString& program, const QStringList& args, const QString& workDir) override;
    void Reap() override;
    std::optional<int> ExitStatus(long long pid) override;

private:
    int spawn(const QString& program, const QStringList& args, const QString& workDir, long long* pid, bool tied);
    std::map<long long, std::optional<int>> children_;
};
