#include "systemwords.h"

#include <cerrno>

namespace picture {

QString systemWords(int error)
{
    const char16_t *words = nullptr;
    switch (error) {
    case ENOENT:
        words = u"找不到這個檔案或資料夾";
        break;
    case EACCES:
    case EPERM:
        words = u"沒有權限";
        break;
    case EIO:
        words = u"存取磁碟時發生錯誤，磁碟或媒體可能有問題";
        break;
    case EREMOTEIO:
        words = u"存取遠端的磁碟時發生錯誤";
        break;
    case EUCLEAN:
        words = u"磁碟上的檔案系統已損壞，需要修復";
        break;
    case ENOTCONN:
    case ENOLINK:
    case ECOMM:
        words = u"與網路磁碟機的連線已中斷";
        break;
    case ESTALE:
        words = u"網路磁碟機上的這個檔案已失效，可能已在別處被移除或改名";
        break;
    case ENXIO:
    case ENODEV:
        words = u"找不到這個裝置，它可能已被移除";
        break;
    case ENOMEDIUM:
        words = u"磁碟機中沒有媒體";
        break;
    case EMEDIUMTYPE:
        words = u"磁碟機中的媒體類型不對";
        break;
    case ETIMEDOUT:
        words = u"等候回應的時間過長";
        break;
    case EHOSTDOWN:
        words = u"存放檔案的電腦已關機或沒有回應";
        break;
    case EHOSTUNREACH:
        words = u"無法連到存放檔案的電腦";
        break;
    case ENETDOWN:
    case ENETUNREACH:
    case ENETRESET:
        words = u"網路無法使用";
        break;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
        words = u"網路連線被中斷了";
        break;
    case ECONNREFUSED:
        words = u"存放檔案的電腦拒絕連線";
        break;
    case EKEYEXPIRED:
    case EKEYREVOKED:
    case EKEYREJECTED:
    case ENOKEY:
        words = u"存取網路磁碟機的授權已過期或無效";
        break;
    case ENOMEM:
        words = u"記憶體不足";
        break;
    case EMFILE:
        words = u"本程式同時開啟的檔案太多";
        break;
    case ENFILE:
        words = u"系統同時開啟的檔案太多";
        break;
    case ELOOP:
        words = u"捷徑層層相連太多次，或形成迴圈";
        break;
    case ENAMETOOLONG:
        words = u"檔名或路徑太長";
        break;
    case EILSEQ:
        words = u"名稱中有這個磁碟不接受的字元";
        break;
    case EISDIR:
        words = u"這是資料夾，不是檔案";
        break;
    case ENOTDIR:
        words = u"路徑中有一部分不是資料夾";
        break;
    case ESPIPE:
        words = u"這不是一般的檔案";
        break;
    case EROFS:
        words = u"磁碟只能讀取，不能寫入";
        break;
    case ENOSPC:
        words = u"磁碟已滿";
        break;
    case EDQUOT:
        words = u"已用完磁碟空間的配額";
        break;
    case EOVERFLOW:
        words = u"檔案太大，系統無法處理";
        break;
    case EFBIG:
        words = u"檔案太大";
        break;
    case EINVAL:
        words = u"系統不接受這個動作";
        break;
    case EOPNOTSUPP:
        words = u"這個磁碟不支援這個動作";
        break;
    case EBUSY:
    case ETXTBSY:
        words = u"裝置或檔案正在使用中";
        break;
    case EDEADLK:
        words = u"檔案被鎖定了";
        break;
    case EAGAIN:
    case EINTR:
        words = u"系統暫時無法完成，請再試一次";
        break;
    case ECANCELED:
        words = u"動作被取消了";
        break;
    case EBADF:
        words = u"檔案已經關閉";
        break;
    default:
        return QStringLiteral("系統回報第 %1 號錯誤").arg(error);
    }
    return QString::fromUtf16(words);
}

QString systemWords(const QString &number)
{
    bool ok = false;
    const int error = number.toInt(&ok);
    return ok ? systemWords(error) : number;
}

} // namespace picture
