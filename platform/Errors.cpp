#include "platform/Errors.h"

#include "platform/Encoding.h"

EConvertError EConvertError::InvalidInteger(const std::string& text)
{
    return EConvertError("'" + text + "' is not a valid integer value");
}

EConvertError EConvertError::InvalidDateTime(const std::string& text)
{
    return EConvertError("'" + text + "' is not a valid date and time");
}

EListError EListError::IndexOutOfBounds(long long index)
{
    static const std::string prefix = Sjis("リストのインデックスが範囲を超えています (");
    return EListError(prefix + std::to_string(index) + ")");
}
