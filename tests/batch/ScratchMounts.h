#pragma once
// Small file systems for the fault tests: a tmpfs of a given size (to fill a
// disk) and a read-only one. They need the right to mount; tests skip without.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <unistd.h>

class ScratchMount {
public:
    // A tmpfs of sizeKb kilobytes at a fresh folder.
    explicit ScratchMount(int sizeKb) {
        if (::geteuid() != 0) return;
        mounted_ = run({"mount", "-t", "tmpfs", "-o", QString("size=%1k").arg(sizeKb), "tmpfs", dir_.path()});
    }
    ~ScratchMount() {
        if (!mounted_) return;
        run({"umount", "-l", dir_.path()});
    }
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    bool ok() const { return mounted_; }
    QString path() const { return dir_.path(); }
    bool MakeReadOnly() { return mounted_ && run({"mount", "-o", "remount,ro", dir_.path()}); }
    bool MakeWritable() { return mounted_ && run({"mount", "-o", "remount,rw", dir_.path()}); }
    // Fills the file system with a file until fewer than leaveKb kilobytes remain.
    bool Fill(const QString& name, int leaveKb) {
        QFile f(path() + "/" + name);
        if (!f.open(QIODevice::WriteOnly)) return false;
        const QByteArray block(1024, 'f');
        for (;;) {
            if (f.write(block) != block.size() || !f.flush()) break;
        }
        f.close();
        // Free what was asked for again.
        const qint64 size = QFile(path() + "/" + name).size();
        return QFile(path() + "/" + name).resize(qMax<qint64>(0, size - leaveKb * 1024));
    }

private:
    static bool run(const QStringList& cmd) {
        QProcess p;
        p.start(cmd.first(), cmd.mid(1));
        return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    QTemporaryDir dir_;
    bool mounted_ = false;
};
