// Reading a build manifest: the JSON text checked key by key into the same
// BuildArguments the flags give, each fault named by where it lies.
#include "build_manifest.h"

#include <stdint.h>

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "display_text.h"
#include "file_io.h"

namespace {

using Json = nlohmann::json;

// A manifest names a handful of files; anything larger is no manifest.
const uint64_t MaxManifestSize = 1 << 20;

// "entries[2].compress": where a value lies, below the object at where.
std::string Member(const std::string &where, const std::string &key) {
    return where.empty() ? PrintableText(key) : where + "." + PrintableText(key);
}

std::string Element(const std::string &where, size_t index) {
    return where + "[" + std::to_string(index) + "]";
}

// "(got a string)", for messages about a value of the wrong type.
std::string Got(const Json &value) {
    std::string type = value.type_name();
    if (value.is_boolean() || value.is_null()) {
        return "(got " + value.dump() + ")";
    }
    bool vowel = type[0] == 'a' || type[0] == 'o';
    return std::string("(got ") + (vowel ? "an " : "a ") + type + ")";
}

// The parser lets the last of two equal keys in an object win without a
// word; this finds the first key given twice, for an error instead.
struct RepeatedKeyFinder {
    struct Level {
        bool array;
        size_t index;     // arrays: the element being read
        std::string key;  // objects: the member being read
        std::set<std::string> keys;
    };
    std::vector<Level> levels;
    std::string repeated;  // where the first repeated key lies; empty: none

    std::string Where(const std::string &key) const {
        std::string where;
        for (size_t i = 0; i + 1 < levels.size(); i++) {
            where =
                levels[i].array ? Element(where, levels[i].index) : Member(where, levels[i].key);
        }
        return Member(where, key);
    }

    void EndValue() {
        if (!levels.empty() && levels.back().array) {
            levels.back().index++;
        }
    }

    void Event(Json::parse_event_t event, const Json &parsed) {
        switch (event) {
        case Json::parse_event_t::object_start:
        case Json::parse_event_t::array_start:
            levels.push_back({event == Json::parse_event_t::array_start, 0, "", {}});
            break;
        case Json::parse_event_t::key: {
            std::string key = parsed.get<std::string>();
            if (!levels.back().keys.insert(key).second && repeated.empty()) {
                repeated = Where(key);
            }
            levels.back().key = key;
            break;
        }
        case Json::parse_event_t::object_end:
        case Json::parse_event_t::array_end:
            levels.pop_back();
            EndValue();
            break;
        case Json::parse_event_t::value:
            EndValue();
            break;
        }
    }
};

// Checks the manifest's values one by one; the first fault ends the reading
// with *error naming the manifest and the place.
class ManifestReader {
public:
    ManifestReader(const std::string &path, std::string *error) : path_(path), error_(error) {
        size_t end = path.size();
        while (end > 0 && !IsPathSeparator(path[end - 1])) {
            end--;
        }
        folder_ = path.substr(0, end);
    }

    bool Fail(const std::string &where, const std::string &what) {
        *error_ = path_ + ": " + (where.empty() ? "" : where + ": ") + what;
        return false;
    }

    // Parses text; false, with the line and column, when it is no JSON.
    bool Parse(const std::string &text, Json *document) {
        RepeatedKeyFinder finder;
        try {
            *document = Json::parse(text, [&finder](int, Json::parse_event_t event, Json &parsed) {
                finder.Event(event, parsed);
                return true;
            });
        } catch (const Json::parse_error &fault) {
            // "[json.exception.parse_error.101] parse error at line 3, column 7: why"
            std::string message = PrintableText(fault.what());
            const std::string at = "parse error at ";
            size_t start = message.find(at);
            size_t colon = start == std::string::npos ? start : message.find(": ", start);
            if (colon == std::string::npos) {
                return Fail("byte " + std::to_string(fault.byte), "not valid JSON: " + message);
            }
            start += at.size();
            return Fail(message.substr(start, colon - start),
                        "not valid JSON: " + message.substr(colon + 2));
        }
        if (!finder.repeated.empty()) {
            return Fail(finder.repeated, "given twice");
        }
        return true;
    }

    bool Read(const Json &document, BuildArguments *arguments) {
        if (!document.is_object()) {
            return Fail(
                "", "expected a JSON object with \"launcher\" and the entries " + Got(document));
        }
        if (!KnownKeys(
                document, "",
                {"launcher", "content", "reserved", "icon", "versionInfo", "fast", "entries"}) ||
            !Path(document, "", "launcher", true, &arguments->launcher) ||
            !Path(document, "", "content", false, &arguments->content) ||
            !Reserved(document, arguments->reserved) ||
            !Path(document, "", "icon", false, &arguments->icon) ||
            !VersionInfo(document, &arguments->versionInfo) ||
            !Flag(document, "", "fast", &arguments->fast)) {
            return false;
        }
        if (!document.contains("entries")) {
            return true;
        }
        const Json &entries = document["entries"];
        if (!entries.is_array()) {
            return Fail("entries", "expected an array of entries " + Got(entries));
        }
        for (size_t i = 0; i < entries.size(); i++) {
            EntryArgument entry;
            if (!Entry(entries[i], Element("entries", i), &entry)) {
                return false;
            }
            entry.where = Element("entries", i);
            arguments->entries.push_back(entry);
        }
        return true;
    }

private:
    bool KnownKeys(const Json &object, const std::string &where,
                   std::initializer_list<const char *> known) {
        std::string list;
        for (const char *key : known) {
            list += (list.empty() ? "" : ", ") + std::string(key);
        }
        for (const auto &member : object.items()) {
            bool found = false;
            for (const char *key : known) {
                found = found || member.key() == key;
            }
            if (!found) {
                return Fail(Member(where, member.key()), "unknown key (known here: " + list + ")");
            }
        }
        return true;
    }

    // A non-empty string without NUL characters; a missing optional one
    // leaves *value alone.
    bool String(const Json &object, const std::string &where, const char *key, bool required,
                std::string *value) {
        if (!object.contains(key)) {
            return !required || Fail(where, std::string("missing \"") + key + "\"");
        }
        const Json &member = object[key];
        if (!member.is_string()) {
            return Fail(Member(where, key), "expected a string " + Got(member));
        }
        const std::string &text = member.get_ref<const std::string &>();
        if (text.empty()) {
            return Fail(Member(where, key), "expected a non-empty string");
        }
        if (text.find('\0') != std::string::npos) {
            return Fail(Member(where, key), "holds a NUL character");
        }
        *value = text;
        return true;
    }

    // A file's path, taken from the manifest's folder unless it starts at a
    // root (on Windows also a drive or a share).
    bool Path(const Json &object, const std::string &where, const char *key, bool required,
              std::string *value) {
        if (!String(object, where, key, required, value)) {
            return false;
        }
        if (!value->empty() && PathRootSize(*value) == 0) {
            *value = folder_ + *value;
        }
        return true;
    }

    bool Flag(const Json &object, const std::string &where, const char *key, bool *value) {
        if (!object.contains(key)) {
            return true;
        }
        const Json &member = object[key];
        if (!member.is_boolean()) {
            return Fail(Member(where, key), "expected true or false " + Got(member));
        }
        *value = member.get<bool>();
        return true;
    }

    // Two words, each written into the header as 32 bits: a signed or an
    // unsigned 32-bit number, as --reserved takes them.
    bool Reserved(const Json &object, int32_t reserved[2]) {
        if (!object.contains("reserved")) {
            return true;
        }
        const Json &words = object["reserved"];
        if (!words.is_array()) {
            return Fail("reserved", "expected two numbers, like [80, 192] " + Got(words));
        }
        if (words.size() != 2) {
            return Fail("reserved", "expected two numbers, like [80, 192] (got " +
                                        std::to_string(words.size()) + ")");
        }
        for (size_t i = 0; i < 2; i++) {
            const Json &word = words[i];
            // Negative numbers are the only ones the parser keeps signed.
            bool fits = word.is_number_unsigned()
                            ? word.get<uint64_t>() <= 0xFFFFFFFFu
                            : word.is_number_integer() && word.get<int64_t>() >= -0x80000000LL &&
                                  word.get<int64_t>() <= 0xFFFFFFFFLL;
            if (!fits) {
                return Fail(Element("reserved", i),
                            "expected a 32-bit whole number, -2147483648 to 4294967295 (got " +
                                PrintableText(word.dump()) + ")");
            }
            reserved[i] = static_cast<int32_t>(static_cast<uint32_t>(word.get<int64_t>()));
        }
        return true;
    }

    // true, false or "always", as --compress and --compress=always.
    bool Compress(const Json &object, const std::string &where, EntryArgument *entry) {
        if (!object.contains("compress")) {
            return true;
        }
        const Json &value = object["compress"];
        if (value.is_boolean()) {
            entry->compressed = value.get<bool>();
            return true;
        }
        if (value.is_string() && value.get_ref<const std::string &>() == "always") {
            entry->compressed = true;
            entry->keepStream = true;
            return true;
        }
        return Fail(
            Member(where, "compress"),
            "expected true, false or \"always\" " +
                (value.is_string() ? "(got " + PrintableText(value.dump()) + ")" : Got(value)));
    }

    // {"ProductName": "My Show", ...}: the version texts, each checked.
    bool VersionInfo(const Json &object, std::vector<VersionString> *strings) {
        if (!object.contains("versionInfo")) {
            return true;
        }
        const Json &texts = object["versionInfo"];
        if (!texts.is_object()) {
            return Fail("versionInfo",
                        "expected an object like {\"ProductName\": \"My Show\"} " + Got(texts));
        }
        for (const auto &member : texts.items()) {
            if (!member.value().is_string()) {
                return Fail(Member("versionInfo", member.key()),
                            "expected a string " + Got(member.value()));
            }
            std::vector<VersionString> one = {{member.key(), member.value().get<std::string>()}};
            std::string problem = VersionStringProblem(one);
            if (!problem.empty()) {
                return Fail(Member("versionInfo", member.key()), problem);
            }
            strings->push_back(one[0]);
        }
        return true;
    }

    bool Entry(const Json &object, const std::string &where, EntryArgument *entry) {
        if (!object.is_object()) {
            return Fail(where, "expected an object like {\"file\": \"lumv.dll\"} " + Got(object));
        }
        return KnownKeys(object, where, {"file", "as", "compress", "packed", "temp"}) &&
               Path(object, where, "file", true, &entry->source) &&
               String(object, where, "as", false, &entry->as) && Compress(object, where, entry) &&
               String(object, where, "packed", false, &entry->packed) &&
               Flag(object, where, "temp", &entry->temp);
    }

    std::string path_;
    std::string folder_;  // with its trailing separator; empty: the current folder
    std::string *error_;
};

}  // namespace

bool ReadBuildManifest(const std::string &path, BuildArguments *arguments, std::string *error) {
    ManifestReader reader(path, error);
    InputFile file;
    std::string why;
    if (!OpenInputFile(path, &file, &why)) {
        return reader.Fail("", why);
    }
    if (file.size > MaxManifestSize) {
        return reader.Fail("", "too large for a build manifest: " + std::to_string(file.size) +
                                   " bytes, at most " + std::to_string(MaxManifestSize));
    }
    std::string text(static_cast<size_t>(file.size), '\0');
    if (!text.empty() && !ReadInputAt(file, 0, &text[0], text.size(), &why)) {
        return reader.Fail("", why);
    }
    Json document;
    BuildArguments read;
    if (!reader.Parse(text, &document) || !reader.Read(document, &read)) {
        return false;
    }
    arguments->launcher = read.launcher;
    arguments->content = read.content;
    arguments->reserved[0] = read.reserved[0];
    arguments->reserved[1] = read.reserved[1];
    arguments->entries = read.entries;
    arguments->icon = read.icon;
    arguments->versionInfo = read.versionInfo;
    arguments->fast = read.fast;
    return true;
}
