#pragma once
// A tiny JSON writer for the --json output: objects and arrays built as text, strings
// escaped, numbers printed the same in every locale, non-finite numbers as null.

#include <cstdint>
#include <string>
#include <string_view>

class JsonWriter {
  public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The name of the next member of an object.
    JsonWriter& Key(std::string_view name);
    JsonWriter& String(std::string_view text);
    JsonWriter& Number(double value);
    JsonWriter& Number(float value);  // the shortest text that reads back as the same float
    JsonWriter& Integer(int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    const std::string& Text() const { return text_; }

  private:
    void BeforeValue();

    std::string text_;
    bool needsComma_ = false;
};

// `text` as a quoted JSON string: quotes, backslashes and control characters escaped; bytes
// that are not valid UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

// Prints the document and a newline on stdout (one document per line).
void PrintJsonLine(const JsonWriter& json);
