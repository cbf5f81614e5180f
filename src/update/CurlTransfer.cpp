#include "update/CurlTransfer.h"

#include "update/PartFile.h"

#include <QFile>

#include <curl/curl.h>

#include <chrono>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Context {
    const TransferOptions* options;
    PartFile* file;
    bool aborted = false;
    bool capped = false;  // the wanted bytes are in; the rest is not read
    Clock::time_point lastActivity = Clock::now();
};

size_t onHeader(char*, size_t size, size_t count, void* user) {
    static_cast<Context*>(user)->lastActivity = Clock::now();
    return size * count;
}

size_t onWrite(char* data, size_t size, size_t count, void* user) {
    auto* ctx = static_cast<Context*>(user);
    const qint64 n = static_cast<qint64>(size * count);
    ctx->lastActivity = Clock::now();
    if (ctx->aborted) return 0;
    qint64 take = n;
    const qint64 max = ctx->options->limits.maxBytes;
    if (max > 0 && ctx->file->Size() + n > max) {
        take = max - ctx->file->Size();
        ctx->capped = true;
    }
    if (!ctx->file->Write(data, take)) return 0;
    return ctx->capped ? 0 : static_cast<size_t>(n);
}

// Time the caller holds the transfer (its window turns, a question open over
// the window) is no silence of the line: nothing can be read meanwhile.
template <typename Turn>
bool callerTurn(Context& ctx, Turn&& turn) {
    const Clock::time_point start = Clock::now();
    const bool goOn = turn();
    ctx.lastActivity += Clock::now() - start;
    return goOn;
}

int onProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
    auto* ctx = static_cast<Context*>(user);
    if (ctx->aborted) return 1;
    if (ctx->options->progress &&
        !callerTurn(*ctx, [&] { return ctx->options->progress(dlnow, dltotal); }))
        ctx->aborted = true;
    return ctx->aborted ? 1 : 0;
}

void setProtocols(CURL* h, bool httpsOnly) {
#if LIBCURL_VERSION_NUM >= 0x075500  // 7.85.0: protocol names
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, httpsOnly ? "https" : "http,https");
#else
    curl_easy_setopt(h, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS,
                     static_cast<long>(httpsOnly ? CURLPROTO_HTTPS : CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
}

}  // namespace

TransferResult RunTransfer(const TransferOptions& options, PartFile& file) {
    globalInit();
    TransferResult result;
    Context ctx{&options, &file};
    const TransferLimits& limits = options.limits;

    CURL* h = curl_easy_init();
    if (!h) {
        result.curlCode = CURLE_FAILED_INIT;
        file.Discard();
        return result;
    }
    const QByteArray url = options.url.toUtf8();
    const QByteArray caFile = QFile::encodeName(limits.caFile);
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    // The certificate check guards every hop only if no hop leaves https.
    setProtocols(h, options.url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive));
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, dllimits::kMaxRedirects);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.isEmpty()) curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Plindor");
    // A stale copy from a proxy would hide a new version.
    struct curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    if (limits.connectMs > 0) curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
    if (limits.totalMs > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.totalMs);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &ctx);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &ctx);
    if (options.progress) {
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &ctx);
    }

    // Driven in short steps: the stall limit is watched here, and the caller
    // gets its turns even while the line is silent.
    CURLM* multi = curl_multi_init();
    curl_multi_add_handle(multi, h);
    const auto stallLimit = std::chrono::milliseconds(limits.stallMs);
    bool stalled = false;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK || !running) break;
        if (limits.stallMs > 0 && Clock::now() - ctx.lastActivity > stallLimit) {
            stalled = true;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 50, nullptr);
        if (options.idle && !callerTurn(ctx, options.idle)) {
            ctx.aborted = true;
            break;
        }
    }
    CURLcode code = ctx.aborted ? CURLE_ABORTED_BY_CALLBACK : stalled ? CURLE_OPERATION_TIMEDOUT : CURLE_RECV_ERROR;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) code = msg->data.result;
    curl_multi_remove_handle(multi, h);
    curl_multi_cleanup(multi);

    if (ctx.capped && code == CURLE_WRITE_ERROR && !file.Failed()) code = CURLE_OK;
    curl_off_t announced = -1;
    curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    // A body short of its announced length is not the file the server meant.
    if (code == CURLE_OK && !ctx.capped && announced >= 0 && announced != file.Size()) code = CURLE_PARTIAL_FILE;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.httpStatus);
    curl_easy_cleanup(h);
    curl_slist_free_all(headers);

    result.curlCode = static_cast<int>(code);
    result.aborted = ctx.aborted;
    result.bytesWritten = file.Size();
    if (code == CURLE_OK && !ctx.aborted) {
        if (!file.Commit()) result.localFileFailed = true;
    } else {
        result.localFileFailed = file.Failed();
        file.Discard();
    }
    return result;
}
