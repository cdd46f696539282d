// A small JSON writer for uiauto's output: one object per command, ASCII only (every other
// character as a \u escape), so tests read it whatever the console's code page is.
#pragma once

#include <string>

class JsonWriter {
public:
    JsonWriter& Begin();  // {
    JsonWriter& End();    // }
    JsonWriter& BeginArray(const char* key);
    JsonWriter& BeginArray();  // as an array element
    JsonWriter& EndArray();
    JsonWriter& BeginObject(const char* key);
    JsonWriter& Key(const char* key);
    JsonWriter& Field(const char* key, const std::wstring& value);
    JsonWriter& Field(const char* key, long long value);
    JsonWriter& Bool(const char* key, bool value);
    JsonWriter& Value(const std::wstring& value);  // as an array element
    JsonWriter& Value(long long value);
    const std::string& Text() const { return m_text; }

private:
    void Separate();
    void Quote(const std::wstring& value);
    std::string m_text;
    bool m_first = true;
};
