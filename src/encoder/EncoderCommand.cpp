#include "encoder/EncoderCommand.h"

namespace {

bool isBlank(QChar c) { return c == ' ' || c == '\t'; }

// Splits text into the running argument list; state carries across pieces so
// that a path piece joins whatever literal text touches it.
struct Splitter {
    QStringList args;
    QString current;
    bool pending = false;  // an argument has begun (possibly empty: "")
    bool quoted = false;

    void literal(const QString& text) {
        for (const QChar c : text) {
            if (c == '"') {
                quoted = !quoted;
                pending = true;
            } else if (isBlank(c) && !quoted) {
                finish();
            } else {
                current += c;
                pending = true;
            }
        }
    }
    void verbatim(const QString& text) {
        current += text;
        pending = true;
    }
    void finish() {
        if (pending) args << current;
        current.clear();
        pending = false;
    }
};

}  // namespace

EncoderCommand& EncoderCommand::Add(const QString& literal) {
    if (literal.isEmpty()) return *this;
    if (!pieces_.empty() && !pieces_.back().path) pieces_.back().text += literal;
    else pieces_.push_back({false, literal});
    return *this;
}

EncoderCommand& EncoderCommand::AddPath(const QString& path) {
    pieces_.push_back({true, path});
    return *this;
}

EncoderCommand& EncoderCommand::Add(const EncoderCommand& other) {
    for (const Piece& p : other.pieces_) {
        if (p.path) AddPath(p.text);
        else Add(p.text);
    }
    return *this;
}

QString EncoderCommand::Text() const {
    QString out;
    for (const Piece& p : pieces_) {
        if (p.path) out += QLatin1Char('"') + p.text + QLatin1Char('"');
        else out += p.text;
    }
    return out;
}

QStringList EncoderCommand::Arguments() const {
    Splitter s;
    for (const Piece& p : pieces_) {
        if (!p.path) {
            s.literal(p.text);
            continue;
        }
        // A relative path that begins with "-" would read as an option.
        const bool startsArgument = !s.pending;
        if (startsArgument && p.text.startsWith('-')) s.verbatim(QStringLiteral("./") + p.text);
        else s.verbatim(p.text);
    }
    s.finish();
    return s.args;
}

EncoderCommand& EncoderCommand::ReplaceInLiterals(const QString& from, const QString& to) {
    if (from.isEmpty()) return *this;
    for (Piece& p : pieces_)
        if (!p.path) p.text.replace(from, to, Qt::CaseSensitive);
    return *this;
}

bool EncoderCommand::operator==(const EncoderCommand& other) const { return pieces_ == other.pieces_; }

QStringList SplitCommandLine(const QString& text) {
    Splitter s;
    s.literal(text);
    s.finish();
    return s.args;
}
