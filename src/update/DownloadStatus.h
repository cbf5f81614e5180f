#pragma once
// Download status codes and the texts the download window shows. Pure logic.
#include <QString>
#include <QtGlobal>

namespace dlstatus {

// The URL-service status family the download reports its end with.
constexpr qint32 Code(quint32 v) { return static_cast<qint32>(v); }
constexpr qint32 S_Ok = 0;
constexpr qint32 S_False = 1;
constexpr qint32 E_Abort = Code(0x80004004u);
constexpr qint32 InvalidUrl = Code(0x800C0002u);
constexpr qint32 CannotConnect = Code(0x800C0004u);
constexpr qint32 ResourceNotFound = Code(0x800C0005u);
constexpr qint32 DownloadFailure = Code(0x800C0008u);
constexpr qint32 AuthenticationRequired = Code(0x800C0009u);
constexpr qint32 ConnectionTimeout = Code(0x800C000Bu);
constexpr qint32 InvalidRequest = Code(0x800C000Cu);
constexpr qint32 UnknownProtocol = Code(0x800C000Du);
constexpr qint32 SecurityProblem = Code(0x800C000Eu);
constexpr qint32 RedirectFailed = Code(0x800C0014u);
constexpr qint32 DownloadDeclined = Code(0x800C0100u);

// The message for a stop status; every code without a text of its own gets
// the catch-all message.
QString BindErrorText(qint32 status);

// The one place where a transfer's outcome becomes a stop status.
// curlCode: the libcurl result; httpStatus: the last HTTP response code (0
// when none); aborted: the transfer was told to abort.
//   host not found            -> 0x800C0005   cannot connect   -> 0x800C0004
//   time-out                  -> 0x800C000B   HTTP 404 / 410   -> 0x800C0005
//   HTTP 401 / 407            -> 0x800C0009   HTTP 403         -> 0x800C0100
//   HTTP 400                  -> 0x800C000C   other HTTP error -> 0x800C0008
//   bad address               -> 0x800C0002   not http(s)      -> 0x800C000D
//   certificate / TLS failure -> 0x800C000E   redirect loop    -> 0x800C0014
//   redirect to a refused scheme (http after https)            -> 0x800C0014
//   abort                     -> 0x80004004   anything else    -> 0x800C0008
qint32 StopStatus(int curlCode, long httpStatus, bool aborted);

// Byte counts as the download reports them: 32-bit signed, so a count of
// 2 GiB or more reads negative.
qint32 As32(qint64 bytes);

// n bytes in kilobytes, rounded to 2 decimals (halves to even), as a plain
// number text: 1536 -> "1.5", 1000 -> "0.98".
QString KText(qint64 bytes);

// Status texts.
QString ConnectingText(qint32 total);                 // total unknown
QString ProgressText(qint32 received, qint32 total);  // total known
// The bar's fraction, rounded to 4 decimals.
double ProgressFraction(qint32 received, qint32 total);

}  // namespace dlstatus
