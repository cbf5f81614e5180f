#include "update/CurlTransfer.h"

#include <QFile>

#include <curl/curl.h>
#include <mutex>

namespace {

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Context {
    const TransferOptions* options;
    QFile file;
    bool opened = false;
    bool fileFailed = false;
    bool aborted = false;
    qint64 written = 0;

    bool open() {
        if (opened) return !fileFailed;
        opened = true;
        file.setFileName(options->target);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) fileFailed = true;
        return !fileFailed;
    }
};

size_t onWrite(char* data, size_t size, size_t count, void* user) {
    auto* ctx = static_cast<Context*>(user);
    const size_t n = size * count;
    if (ctx->aborted) return CURL_WRITEFUNC_ERROR;
    if (!ctx->open()) return CURL_WRITEFUNC_ERROR;
    if (n == 0) return 0;
    if (ctx->file.write(data, static_cast<qint64>(n)) != static_cast<qint64>(n)) {
        ctx->fileFailed = true;
        return CURL_WRITEFUNC_ERROR;
    }
    ctx->written += static_cast<qint64>(n);
    return n;
}

int onProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
    auto* ctx = static_cast<Context*>(user);
    if (ctx->aborted) return 1;
    if (ctx->options->progress && !ctx->options->progress(dlnow, dltotal)) ctx->aborted = true;
    return ctx->aborted ? 1 : 0;
}

}  // namespace

TransferResult RunTransfer(const TransferOptions& options) {
    globalInit();
    TransferResult result;
    Context ctx{&options, {}, false, false, false, 0};

    CURL* h = curl_easy_init();
    if (!h) {
        result.curlCode = CURLE_FAILED_INIT;
        return result;
    }
    const QByteArray url = options.url.toUtf8();
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Plindor");
    // A stale copy from a proxy would hide a new version.
    struct curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    if (options.connectTimeout > 0) curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, options.connectTimeout);
    if (options.totalTimeout > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT, options.totalTimeout);
    if (options.lowSpeedTime > 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, options.lowSpeedTime);
    }
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &ctx);
    if (options.progress) {
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &ctx);
    }

    CURLcode code = CURLE_OK;
    if (!options.idle) {
        code = curl_easy_perform(h);
    } else {
        CURLM* multi = curl_multi_init();
        curl_multi_add_handle(multi, h);
        int running = 1;
        while (running) {
            if (curl_multi_perform(multi, &running) != CURLM_OK) break;
            if (!running) break;
            curl_multi_poll(multi, nullptr, 0, 50, nullptr);
            if (!options.idle()) {
                ctx.aborted = true;
                break;
            }
        }
        int left = 0;
        code = ctx.aborted ? CURLE_ABORTED_BY_CALLBACK : CURLE_RECV_ERROR;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) code = msg->data.result;
        curl_multi_remove_handle(multi, h);
        curl_multi_cleanup(multi);
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.httpStatus);
    curl_easy_cleanup(h);
    curl_slist_free_all(headers);

    // An empty body still makes the file.
    if (code == CURLE_OK && !ctx.aborted && !ctx.opened) ctx.open();
    if (ctx.file.isOpen() && !ctx.file.flush()) ctx.fileFailed = true;
    ctx.file.close();

    result.curlCode = static_cast<int>(code);
    result.aborted = ctx.aborted;
    result.localFileFailed = ctx.fileFailed;
    result.bytesWritten = ctx.written;
    return result;
}
