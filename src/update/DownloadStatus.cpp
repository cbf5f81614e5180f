#include "update/DownloadStatus.h"

#include "common/NumberText.h"

#include <curl/curl.h>

#include <utility>

namespace dlstatus {

QString BindErrorText(qint32 status) {
    static const std::pair<quint32, const char*> table[] = {
        {0x800C0002u, "非法Url地址！"},
        {0x800C0003u, "无会话！"},
        {0x800C0004u, "无法连接！"},
        {0x800C0005u, "资源不存在！"},
        {0x800C0006u, "文件未找到！"},
        {0x800C0007u, "文件不存在！"},
        {0x800C0008u, "下载失败！"},
        {0x800C0009u, "认证失败！"},
        {0x800C000Au, "无合法媒介！"},
        {0x800C000Bu, "连接超时"},
        {0x800C000Cu, "非法请求！"},
        {0x800C000Du, "未知的数据传输协议！"},
        {0x800C000Eu, "密码有误！"},
        {0x800C000Fu, "无法加载数据！"},
        {0x800C0010u, "无法初始化对象！"},
        {0x800C0011u, "默认动作！"},
        {0x800C0013u, "未知操作动作和请求！"},
        {0x800C0014u, "重新定向失败！"},
        {0x800C0015u, "切换到指定目录！"},
        {0x800C0016u, "无法锁定请求！"},
        {0x800C0100u, "拒绝下载！"},
        {0x800C0200u, "结果换取中！"},
        {0x800C0300u, "无法替换SFP文件！"},
    };
    const auto u = static_cast<quint32>(status);
    for (const auto& [code, text] : table)
        if (code == u) return QString::fromUtf8(text);
    return QStringLiteral("未知错误，或用户取消，或者超时！");
}

qint32 StopStatus(int curlCode, long httpStatus, bool aborted) {
    if (aborted) return E_Abort;
    switch (curlCode) {
        case CURLE_OK: return S_Ok;
        case CURLE_ABORTED_BY_CALLBACK: return E_Abort;
        case CURLE_URL_MALFORMAT: return InvalidUrl;
        // After a redirect: the next hop's scheme was refused.
        case CURLE_UNSUPPORTED_PROTOCOL: return httpStatus >= 300 && httpStatus < 400 ? RedirectFailed : UnknownProtocol;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: return ResourceNotFound;
        case CURLE_COULDNT_CONNECT: return CannotConnect;
        case CURLE_OPERATION_TIMEDOUT: return ConnectionTimeout;
        case CURLE_TOO_MANY_REDIRECTS: return RedirectFailed;
        case CURLE_LOGIN_DENIED: return AuthenticationRequired;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS: return SecurityProblem;
        case CURLE_HTTP_RETURNED_ERROR:
            switch (httpStatus) {
                case 400: return InvalidRequest;
                case 401:
                case 407: return AuthenticationRequired;
                case 403: return DownloadDeclined;
                case 404:
                case 410: return ResourceNotFound;
                default: return DownloadFailure;
            }
        default: return DownloadFailure;
    }
}

qint32 As32(qint64 bytes) {
    if (bytes < 0) bytes = 0;
    if (bytes > 0xFFFFFFFFll) bytes = 0xFFFFFFFFll;
    return static_cast<qint32>(static_cast<quint32>(bytes));
}

QString KText(qint64 bytes) { return num::Text(num::RoundHalfEven(static_cast<double>(bytes) / 1024.0, 2)); }

QString ConnectingText(qint32 total) {
    return QStringLiteral("正在检查文件下载相关信息中...") + QStringLiteral("连接中") + KText(total) +
           QStringLiteral("kb");
}

QString ProgressText(qint32 received, qint32 total) {
    return QStringLiteral("文件正在下载中...") + KText(received) + QStringLiteral("kb/") + KText(total) +
           QStringLiteral("kb");
}

double ProgressFraction(qint32 received, qint32 total) {
    if (total < 1) return 0;
    return num::RoundHalfEven(static_cast<double>(received) / static_cast<double>(total), 4);
}

}  // namespace dlstatus
