#pragma once
// Files as the download tests make and inspect them.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

// n bytes of a repeating letter pattern starting at first.
inline QByteArray Pattern(int n, char first = 'a') {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i) b[i] = static_cast<char>(first + i % 26);
    return b;
}

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Every entry of a folder, hidden ones included, sorted by name.
inline QStringList NamesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
