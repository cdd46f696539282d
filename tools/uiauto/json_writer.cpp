#include "json_writer.h"

#include <cstdio>

void JsonWriter::Separate()
{
    if (!m_first) m_text += ',';
    m_first = false;
}

void JsonWriter::Quote(const std::wstring& value)
{
    m_text += '"';
    for (wchar_t c : value) {
        if (c == L'"' || c == L'\\') {
            m_text += '\\';
            m_text += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            m_text += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(c) & 0xFFFF);
            m_text += escape;
        }
    }
    m_text += '"';
}

JsonWriter& JsonWriter::Begin()
{
    Separate();
    m_text += '{';
    m_first = true;
    return *this;
}

JsonWriter& JsonWriter::End()
{
    m_text += '}';
    m_first = false;
    return *this;
}

JsonWriter& JsonWriter::Key(const char* key)
{
    Separate();
    m_text += '"';
    m_text += key;
    m_text += "\":";
    m_first = true;
    return *this;
}

JsonWriter& JsonWriter::BeginArray(const char* key)
{
    Key(key);
    m_text += '[';
    m_first = true;
    return *this;
}

JsonWriter& JsonWriter::BeginArray()
{
    Separate();
    m_text += '[';
    m_first = true;
    return *this;
}

JsonWriter& JsonWriter::EndArray()
{
    m_text += ']';
    m_first = false;
    return *this;
}

JsonWriter& JsonWriter::BeginObject(const char* key)
{
    Key(key);
    m_text += '{';
    m_first = true;
    return *this;
}

JsonWriter& JsonWriter::Field(const char* key, const std::wstring& value)
{
    Key(key);
    Quote(value);
    m_first = false;
    return *this;
}

JsonWriter& JsonWriter::Field(const char* key, long long value)
{
    Key(key);
    m_text += std::to_string(value);
    m_first = false;
    return *this;
}

JsonWriter& JsonWriter::Bool(const char* key, bool value)
{
    Key(key);
    m_text += value ? "true" : "false";
    m_first = false;
    return *this;
}

JsonWriter& JsonWriter::Value(const std::wstring& value)
{
    Separate();
    Quote(value);
    return *this;
}

JsonWriter& JsonWriter::Value(long long value)
{
    Separate();
    m_text += std::to_string(value);
    return *this;
}
