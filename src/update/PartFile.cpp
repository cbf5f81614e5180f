#include "update/PartFile.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>

PartFile::PartFile(const QString& target) : target_(target) {}

PartFile::~PartFile() { Discard(); }

bool PartFile::open() {
    if (file_.isOpen()) return true;
    if (failed_ || committed_ || discarded_) return false;
    const QFileInfo info(target_);
    QString dir = info.absolutePath();
    if (!dir.endsWith('/')) dir += '/';
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString name = dir + '.' + info.fileName() + '.' +
                             QString::number(QRandomGenerator::global()->generate(), 36) + ".part";
        file_.setFileName(name);
        // Unbuffered: what has arrived is on disk even if the program ends
        // from inside the transfer.
        if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) return true;
        if (!QFileInfo::exists(name)) break;  // not a name clash: the folder refuses
    }
    file_.setFileName(QString());
    failed_ = true;
    return false;
}

bool PartFile::Write(const char* data, qint64 size) {
    if (!open()) return false;
    if (size <= 0) return true;
    if (file_.write(data, size) != size) {
        failed_ = true;
        return false;
    }
    size_ += size;
    return true;
}

bool PartFile::Commit() {
    if (committed_) return true;
    if (failed_ || !open()) {
        Discard();
        return false;
    }
    file_.close();
    if (file_.error() != QFileDevice::NoError ||
        std::rename(QFile::encodeName(file_.fileName()).constData(), QFile::encodeName(target_).constData()) != 0) {
        failed_ = true;
        Discard();
        return false;
    }
    committed_ = true;
    return true;
}

void PartFile::Discard() {
    if (committed_ || discarded_) return;
    discarded_ = true;
    if (file_.fileName().isEmpty()) return;
    file_.close();
    QFile::remove(file_.fileName());
}
