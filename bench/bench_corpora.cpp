// The three corpora the codec benchmarks run on, 8 MiB each and made by
// the benchmark itself: English-like text, x86-64 machine code and random
// bytes.
#include "bench_corpora.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

namespace {

bool ReadFile(const char *path, std::vector<uint8_t> *out) {
    FILE *file = fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        out->insert(out->end(), buffer, buffer + got);
    }
    fclose(file);
    return true;
}

// A little-endian field of size bytes at offset (0 past the end).
uint64_t Field(const std::vector<uint8_t> &file, uint64_t offset, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; i--) {
        value = (value << 8) | (offset + i < file.size() ? file[offset + i] : 0);
    }
    return value;
}

// splitmix64: tiny, and gives the same sequence with every compiler and
// standard library, which the distributions of <random> do not promise.
struct Random {
    uint64_t state;

    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // 0 <= result < bound; the slight bias does not matter here.
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }
};

const char *const Words[] = {
    "the",      "of",         "and",        "to",         "a",           "in",         "is",
    "it",       "you",        "that",       "he",         "was",         "for",        "on",
    "are",      "with",       "as",         "his",        "they",        "be",         "at",
    "one",      "have",       "this",       "from",       "or",          "had",        "by",
    "hot",      "word",       "but",        "what",       "some",        "we",         "can",
    "out",      "other",      "were",       "all",        "there",       "when",       "up",
    "use",      "your",       "how",        "said",       "an",          "each",       "she",
    "which",    "do",         "their",      "time",       "if",          "will",       "way",
    "about",    "many",       "then",       "them",       "write",       "would",      "like",
    "so",       "these",      "her",        "long",       "make",        "thing",      "see",
    "him",      "two",        "has",        "look",       "more",        "day",        "could",
    "go",       "come",       "did",        "number",     "sound",       "no",         "most",
    "people",   "my",         "over",       "know",       "water",       "than",       "call",
    "first",    "who",        "may",        "down",       "side",        "been",       "now",
    "find",     "any",        "new",        "work",       "part",        "take",       "get",
    "place",    "made",       "live",       "where",      "after",       "back",       "little",
    "only",     "round",      "man",        "year",       "came",        "show",       "every",
    "good",     "me",         "give",       "our",        "under",       "name",       "very",
    "through",  "just",       "form",       "sentence",   "great",       "think",      "say",
    "help",     "low",        "line",       "differ",     "turn",        "cause",      "much",
    "mean",     "before",     "move",       "right",      "boy",         "old",        "too",
    "same",     "tell",       "does",       "set",        "three",       "want",       "air",
    "well",     "also",       "play",       "small",      "end",         "put",        "home",
    "read",     "hand",       "port",       "large",      "spell",       "add",        "even",
    "land",     "here",       "must",       "big",        "high",        "such",       "follow",
    "act",      "why",        "ask",        "men",        "change",      "went",       "light",
    "kind",     "off",        "need",       "house",      "picture",     "try",        "us",
    "again",    "animal",     "point",      "mother",     "world",       "near",       "build",
    "self",     "earth",      "father",     "head",       "stand",       "own",        "page",
    "should",   "country",    "found",      "answer",     "school",      "grow",       "study",
    "still",    "learn",      "plant",      "cover",      "food",        "sun",        "four",
    "between",  "state",      "keep",       "eye",        "never",       "last",       "let",
    "thought",  "city",       "tree",       "cross",      "farm",        "hard",       "start",
    "might",    "story",      "saw",        "far",        "sea",         "draw",       "left",
    "late",     "run",        "while",      "press",      "close",       "night",      "real",
    "life",     "few",        "north",      "open",       "seem",        "together",   "next",
    "white",    "children",   "begin",      "got",        "walk",        "example",    "ease",
    "paper",    "group",      "always",     "music",      "those",       "both",       "mark",
    "often",    "letter",     "until",      "mile",       "river",       "car",        "feet",
    "care",     "second",     "book",       "carry",      "took",        "science",    "eat",
    "room",     "friend",     "began",      "idea",       "fish",        "mountain",   "stop",
    "once",     "base",       "hear",       "horse",      "cut",         "sure",       "watch",
    "color",    "face",       "wood",       "main",       "enough",      "plain",      "girl",
    "usual",    "young",      "ready",      "above",      "ever",        "red",        "list",
    "though",   "feel",       "talk",       "bird",       "soon",        "body",       "dog",
    "family",   "direct",     "pose",       "leave",      "song",        "measure",    "door",
    "product",  "black",      "short",      "numeral",    "class",       "wind",       "question",
    "happen",   "complete",   "ship",       "area",       "half",        "rock",       "order",
    "fire",     "south",      "problem",    "piece",      "told",        "knew",       "pass",
    "since",    "top",        "whole",      "king",       "space",       "heard",      "best",
    "hour",     "better",     "true",       "during",     "hundred",     "five",       "remember",
    "step",     "early",      "hold",       "west",       "ground",      "interest",   "reach",
    "fast",     "verb",       "sing",       "listen",     "six",         "table",      "travel",
    "less",     "morning",    "ten",        "simple",     "several",     "vowel",      "toward",
    "war",      "lay",        "against",    "pattern",    "slow",        "center",     "love",
    "person",   "money",      "serve",      "appear",     "road",        "map",        "rain",
    "rule",     "govern",     "pull",       "cold",       "notice",      "voice",      "unit",
    "power",    "town",       "fine",       "certain",    "fly",         "fall",       "lead",
    "cry",      "dark",       "machine",    "note",       "wait",        "plan",       "figure",
    "star",     "box",        "noun",       "field",      "rest",        "correct",    "able",
    "pound",    "done",       "beauty",     "drive",      "stood",       "contain",    "front",
    "teach",    "week",       "final",      "gave",       "green",       "oh",         "quick",
    "develop",  "ocean",      "warm",       "free",       "minute",      "strong",     "special",
    "mind",     "behind",     "clear",      "tail",       "produce",     "fact",       "street",
    "inch",     "multiply",   "nothing",    "course",     "stay",        "wheel",      "full",
    "force",    "blue",       "object",     "decide",     "surface",     "deep",       "moon",
    "island",   "foot",       "system",     "busy",       "test",        "record",     "boat",
    "common",   "gold",       "possible",   "plane",      "stead",       "dry",        "wonder",
    "laugh",    "thousand",   "ago",        "ran",        "check",       "game",       "shape",
    "equate",   "miss",       "brought",    "heat",       "snow",        "tire",       "bring",
    "yes",      "distant",    "fill",       "east",       "paint",       "language",   "among",
    "grand",    "ball",       "yet",        "wave",       "drop",        "heart",      "present",
    "heavy",    "dance",      "engine",     "position",   "arm",         "wide",       "sail",
    "material", "size",       "vary",       "settle",     "speak",       "weight",     "general",
    "ice",      "matter",     "circle",     "pair",       "include",     "divide",     "syllable",
    "felt",     "perhaps",    "pick",       "sudden",     "count",       "square",     "reason",
    "length",   "represent",  "art",        "subject",    "region",      "energy",     "hunt",
    "probable", "bed",        "brother",    "egg",        "ride",        "cell",       "believe",
    "fraction", "forest",     "sit",        "race",       "window",      "store",      "summer",
    "train",    "sleep",      "prove",      "lone",       "exercise",    "wall",       "catch",
    "mount",    "wish",       "sky",        "board",      "joy",         "winter",     "sat",
    "written",  "wild",       "instrument", "kept",       "glass",       "grass",      "cow",
    "job",      "edge",       "sign",       "visit",      "past",        "soft",       "fun",
    "bright",   "gas",        "weather",    "month",      "million",     "bear",       "finish",
    "happy",    "hope",       "flower",     "clothe",     "strange",     "gone",       "jump",
    "baby",     "eight",      "village",    "meet",       "root",        "buy",        "raise",
    "solve",    "metal",      "whether",    "push",       "seven",       "paragraph",  "third",
    "shall",    "held",       "hair",       "describe",   "cook",        "floor",      "either",
    "result",   "burn",       "hill",       "safe",       "cat",         "century",    "consider",
    "type",     "law",        "bit",        "coast",      "copy",        "phrase",     "silent",
    "tall",     "sand",       "soil",       "roll",       "temperature", "finger",     "industry",
    "value",    "fight",      "lie",        "beat",       "excite",      "natural",    "view",
    "sense",    "ear",        "else",       "quite",      "broke",       "case",       "middle",
    "kill",     "son",        "lake",       "moment",     "scale",       "loud",       "spring",
    "observe",  "child",      "straight",   "consonant",  "nation",      "dictionary", "milk",
    "speed",    "method",     "organ",      "pay",        "age",         "section",    "dress",
    "cloud",    "surprise",   "quiet",      "stone",      "tiny",        "climb",      "cool",
    "design",   "poor",       "lot",        "experiment", "bottom",      "key",        "iron",
    "single",   "stick",      "flat",       "twenty",     "skin",        "smile",      "crease",
    "hole",     "trade",      "melody",     "trip",       "office",      "receive",    "row",
    "mouth",    "exact",      "symbol",     "die",        "least",       "trouble",    "shout",
    "except",   "wrote",      "seed",       "tone",       "join",        "suggest",    "clean",
    "break",    "lady",       "yard",       "rise",       "bad",         "blow",       "oil",
    "blood",    "touch",      "grew",       "cent",       "mix",         "team",       "wire",
    "cost",     "lost",       "brown",      "wear",       "garden",      "equal",      "sent",
    "choose",   "fell",       "fit",        "flow",       "fair",        "bank",       "collect",
    "save",     "control",    "decimal",    "gentle",     "woman",       "captain",    "practice",
    "separate", "difficult",  "doctor",     "please",     "protect",     "noon",       "whose",
    "locate",   "ring",       "character",  "insect",     "caught",      "period",     "indicate",
    "radio",    "spoke",      "atom",       "human",      "history",     "effect",     "electric",
    "expect",   "crop",       "modern",     "element",    "hit",         "student",    "corner",
    "party",    "supply",     "bone",       "rail",       "imagine",     "provide",    "agree",
    "thus",     "capital",    "chair",      "danger",     "fruit",       "rich",       "thick",
    "soldier",  "process",    "operate",    "guess",      "necessary",   "sharp",      "wing",
    "create",   "neighbor",   "wash",       "bat",        "rather",      "crowd",      "corn",
    "compare",  "poem",       "string",     "bell",       "depend",      "meat",       "rub",
    "tube",     "famous",     "dollar",     "stream",     "fear",        "sight",      "thin",
    "triangle", "planet",     "hurry",      "chief",      "colony",      "clock",      "mine",
    "tie",      "enter",      "major",      "fresh",      "search",      "send",       "yellow",
    "gun",      "allow",      "print",      "dead",       "spot",        "desert",     "suit",
    "current",  "lift",       "rose",       "continue",   "block",       "chart",      "hat",
    "sell",     "success",    "company",    "subtract",   "event",       "particular", "deal",
    "swim",     "term",       "opposite",   "wife",       "shoe",        "shoulder",   "spread",
    "arrange",  "camp",       "invent",     "cotton",     "born",        "determine",  "quart",
    "nine",     "truck",      "noise",      "level",      "chance",      "gather",     "shop",
    "stretch",  "throw",      "shine",      "property",   "column",      "molecule",   "select",
    "wrong",    "gray",       "repeat",     "require",    "broad",       "prepare",    "salt",
    "nose",     "plural",     "anger",      "claim",      "continent",   "oxygen",     "sugar",
    "death",    "pretty",     "skill",      "women",      "season",      "solution",   "magnet",
    "silver",   "thank",      "branch",     "match",      "suffix",      "especially", "fig",
    "afraid",   "huge",       "sister",     "steel",      "discuss",     "forward",    "similar",
    "guide",    "experience", "score",      "apple",      "bought",      "led",        "pitch",
    "coat",     "mass",       "card",       "band",       "rope",        "slip",       "win",
    "dream",    "evening",    "condition",  "feed",       "tool",        "total",      "basic",
    "smell",    "valley",     "nor",        "double",     "seat",        "arrive",     "master",
    "track",    "parent",     "shore",      "division",   "sheet",       "substance",  "favor",
    "connect",  "post",       "spend",      "chord",      "fat",         "glad",       "original",
    "share",    "station",    "dad",        "bread",      "charge",      "proper",     "bar",
    "offer",    "segment",    "slave",      "duck",       "instant",     "market",     "degree",
    "populate", "chick",      "dear",       "enemy",      "reply",       "drink",      "occur",
    "support",  "speech",     "nature",     "range",      "steam",       "motion",     "path",
    "liquid",   "log",        "meant",      "quotient",   "teeth",       "shell",      "neck",
};
const uint32_t WordCount = sizeof(Words) / sizeof(Words[0]);

// Common words far more often than rare ones, roughly as in real prose: the
// smallest of three uniform picks favours the front of the list.
const char *PickWord(Random *random) {
    uint32_t a = random->Below(WordCount);
    uint32_t b = random->Below(WordCount);
    uint32_t c = random->Below(WordCount);
    uint32_t index = a < b ? a : b;
    return Words[index < c ? index : c];
}

// Sentences of 4 to 19 words with the odd comma, ending in . ? or !, lines
// wrapped before column 72 and a blank line between paragraphs.
std::vector<uint8_t> MakeText() {
    Random random = {0x5EED7E47};
    std::string text;
    size_t column = 0;
    int sentencesLeftInParagraph = 3 + static_cast<int>(random.Below(6));
    while (text.size() < BenchCorpusSize) {
        uint32_t words = 4 + random.Below(16);
        for (uint32_t i = 0; i < words; i++) {
            std::string word = PickWord(&random);
            if (i == 0) {
                word[0] = static_cast<char>(word[0] - 'a' + 'A');
            }
            if (i + 1 == words) {
                uint32_t end = random.Below(10);
                word += end == 0 ? "?" : end == 1 ? "!" : ".";
            } else if (i > 1 && random.Below(8) == 0) {
                word += ",";
            }
            if (column > 0 && column + 1 + word.size() > 72) {
                text += '\n';
                column = 0;
            } else if (column > 0) {
                text += ' ';
                column++;
            }
            text += word;
            column += word.size();
        }
        if (--sentencesLeftInParagraph == 0) {
            text += "\n\n";
            column = 0;
            sentencesLeftInParagraph = 3 + static_cast<int>(random.Below(6));
        }
    }
    text.resize(BenchCorpusSize);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// An ELF file's .text section, appended to out; false when path is no
// 64-bit little-endian ELF file with one.
bool AppendCodeSection(const char *path, std::vector<uint8_t> *out) {
    std::vector<uint8_t> file;
    if (!ReadFile(path, &file) || file.size() < 64 ||
        memcmp(file.data(),
               "\x7f"
               "ELF",
               4) != 0 ||
        file[4] != 2 || file[5] != 1) {
        return false;
    }
    uint64_t sections = Field(file, 0x28, 8);
    uint64_t entrySize = Field(file, 0x3A, 2);
    uint64_t count = Field(file, 0x3C, 2);
    uint64_t namesIndex = Field(file, 0x3E, 2);
    if (entrySize < 64 || namesIndex >= count || sections + count * entrySize > file.size()) {
        return false;
    }
    uint64_t names = Field(file, sections + namesIndex * entrySize + 0x18, 8);
    for (uint64_t i = 0; i < count; i++) {
        uint64_t header = sections + i * entrySize;
        uint64_t name = names + Field(file, header, 4);
        uint64_t offset = Field(file, header + 0x18, 8);
        uint64_t size = Field(file, header + 0x20, 8);
        if (name + 6 <= file.size() && memcmp(&file[name], ".text", 6) == 0 &&
            offset + size <= file.size()) {
            out->insert(out->end(), file.begin() + static_cast<long>(offset),
                        file.begin() + static_cast<long>(offset + size));
            return true;
        }
    }
    return false;
}

// The shared libraries the benchmark runs with, as listed in /proc/self/maps,
// then those of the system's library folder, in name order.
std::vector<std::string> Libraries() {
    std::vector<std::string> paths;
    FILE *maps = fopen("/proc/self/maps", "r");
    char line[4096];
    while (maps != nullptr && fgets(line, sizeof line, maps) != nullptr) {
        const char *path = strchr(line, '/');
        if (path != nullptr && strstr(path, ".so") != nullptr) {
            paths.push_back(std::string(path, strcspn(path, "\n")));
        }
    }
    if (maps != nullptr) {
        fclose(maps);
    }
    std::vector<std::string> system;
    for (const char *folder : {"/usr/lib/x86_64-linux-gnu", "/usr/lib64", "/usr/lib"}) {
        std::error_code error;
        for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
            std::string name = entry.path().filename().string();
            if (name.find(".so") != std::string::npos && entry.is_regular_file(error)) {
                system.push_back(entry.path().string());
            }
        }
    }
    std::sort(system.begin(), system.end());
    paths.insert(paths.end(), system.begin(), system.end());
    return paths;
}

// Machine code: the .text sections of this build's binaries, then of the
// shared libraries, each file once, until there is enough. Whole files
// would bring symbol tables and debug information, which are no code, and
// repeating a file would turn the corpus into long matches. The corpus
// depends on the machine; the ratios are measured on the same bytes.
std::vector<uint8_t> MakeMachineCode() {
    std::vector<std::string> files = {"/proc/self/exe"};
    std::string list = LUMV_BENCH_BINARIES;
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find('|', start);
        end = end == std::string::npos ? list.size() : end;
        files.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::string> libraries = Libraries();
    files.insert(files.end(), libraries.begin(), libraries.end());
    std::vector<uint8_t> code;
    std::set<std::string> seen;
    for (size_t i = 0; i < files.size() && code.size() < BenchCorpusSize; i++) {
        std::error_code error;
        std::string real = std::filesystem::canonical(files[i], error).string();
        if (!error && seen.insert(real).second) {
            AppendCodeSection(real.c_str(), &code);
        }
    }
    if (code.size() < BenchCorpusSize) {
        return std::vector<uint8_t>();
    }
    code.resize(BenchCorpusSize);
    return code;
}

std::vector<uint8_t> MakeRandom() {
    Random random = {0xC0FFEE};
    std::vector<uint8_t> bytes(BenchCorpusSize);
    for (size_t i = 0; i < bytes.size(); i += 8) {
        uint64_t word = random.Next();
        for (size_t k = 0; k < 8 && i + k < bytes.size(); k++) {
            bytes[i + k] = static_cast<uint8_t>(word >> (8 * k));
        }
    }
    return bytes;
}

}  // namespace

const char *const BenchCorpusNames[BenchCorpusCount] = {"text", "x86", "random"};

const std::vector<uint8_t> &BenchCorpus(int which) {
    static const std::vector<uint8_t> text = MakeText();
    static const std::vector<uint8_t> code = MakeMachineCode();
    static const std::vector<uint8_t> random = MakeRandom();
    return which == 0 ? text : which == 1 ? code : random;
}
