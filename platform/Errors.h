#pragma once

#include <stdexcept>
#include <string>

// Every failure the program reports to the user is one of these. The message text is what the
// general error handler shows, so it is Shift_JIS like all program text.
class EVelmoError : public std::runtime_error
{
public:
    explicit EVelmoError(const std::string& message)
        : std::runtime_error(message)
    { }
};

// A text that does not convert to the number or date-time asked for.
class EConvertError : public EVelmoError
{
public:
    using EVelmoError::EVelmoError;
    static EConvertError InvalidInteger(const std::string& text);
    static EConvertError InvalidDateTime(const std::string& text);
};

// An index outside a list (the list-index message names the index).
class EListError : public EVelmoError
{
public:
    using EVelmoError::EVelmoError;
    static EListError IndexOutOfBounds(long long index);
};

// A file that cannot be opened, created, written or replaced.
class EFileError : public EVelmoError
{
public:
    using EVelmoError::EVelmoError;
};

// A text that has no counterpart in the other character set (Shift_JIS <-> UTF-8).
class EEncodingError : public EVelmoError
{
public:
    using EVelmoError::EVelmoError;
};
