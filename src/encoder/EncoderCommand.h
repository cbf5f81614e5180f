#pragma once
// An encoder command line made of literal pieces and path pieces.
//
// Text() is the command exactly as the program shows and compares it: literal
// pieces as they stand, each path between double quotes, nothing escaped.
// Arguments() is what the encoder process really receives: the literal text is
// split like a Windows command line (double quotes group, runs of blanks
// separate, the quotes themselves are dropped), while every path piece stays
// inside one argument whatever it contains: double quotes, apostrophes,
// blanks, a leading "-".
// A file name with a double quote therefore cannot split into extra encoder
// options, which it would if the paths went through the text.
//
// Building a command:
//
//   EncoderCommand cmd;
//   cmd.Add(" -threads 2  -i ").AddPath(source).Add(" -i ").AddPath(cover)
//      .Add(" -map 1 -map 0 -c copy -disposition:0 attached_pic ")
//      .Add(encodeOptions).Add(" ").AddPath(output);
//
// Text() then reads  -threads 2  -i "<source>" -i "<cover>" -map ... "<output>"
// and Arguments() gives -threads, 2, -i, <source>, -i, <cover>, -map, ...
#include <QString>
#include <QStringList>
#include <vector>

class EncoderCommand {
public:
    EncoderCommand() = default;
    // A command made of one literal text (no path pieces).
    explicit EncoderCommand(const QString& literal) { Add(literal); }

    // Appends literal text; neighbouring literal pieces are joined.
    EncoderCommand& Add(const QString& literal);
    // Appends a path: "path" in the text, kept whole in the arguments.
    EncoderCommand& AddPath(const QString& path);
    // Appends every piece of another command.
    EncoderCommand& Add(const EncoderCommand& other);

    QString Text() const;
    QStringList Arguments() const;
    bool IsEmpty() const { return pieces_.empty(); }

    // Replaces every occurrence of `from` in the literal pieces (never inside a
    // path). The crop rule turns each "-c copy" into one blank this way.
    EncoderCommand& ReplaceInLiterals(const QString& from, const QString& to);

    bool operator==(const EncoderCommand& other) const;
    bool operator!=(const EncoderCommand& other) const { return !(*this == other); }

private:
    struct Piece {
        bool path = false;
        QString text;
        bool operator==(const Piece& o) const { return path == o.path && text == o.text; }
    };
    std::vector<Piece> pieces_;
};

// Splits a whole command text into arguments by the same rules: double quotes
// group and are dropped, blanks and tabs outside quotes separate, an empty pair
// of quotes gives an empty argument. Backslashes are ordinary characters, as
// they are in file names here.
QStringList SplitCommandLine(const QString& text);
