// The README and the manual in docs/: every relative link reaches a file,
// every #anchor a heading of the page it names (as GitHub makes them), and
// every blocksim command line given as an example parses as blocksim
// parses it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "commands/command_line.hpp"
#include "commands/commands.hpp"
#include "commands/options.hpp"

namespace fs = std::filesystem;

namespace {

const fs::path source_dir = SOURCE_DIR;

std::vector<fs::path> manual_pages() {
    std::vector<fs::path> pages{source_dir / "README.md"};
    for (const auto& entry : fs::directory_iterator(source_dir / "docs"))
        if (entry.path().extension() == ".md") pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    return pages;
}

std::vector<std::string> lines_of(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A line of a page, outside or inside a fenced block (with its language).
struct Line {
    int number;
    std::string text;
    bool fenced;
    std::string language;
};

std::vector<Line> page_lines(const fs::path& page) {
    std::vector<Line> result;
    bool fenced = false;
    std::string language;
    int number = 0;
    for (const std::string& text : lines_of(page)) {
        ++number;
        if (text.rfind("```", 0) == 0) {
            fenced = !fenced;
            language = fenced ? text.substr(3) : "";
            continue;
        }
        result.push_back({number, text, fenced, language});
    }
    return result;
}

// A heading's anchor as GitHub makes it: lower case, spaces as hyphens,
// other punctuation dropped; a repeated one gets -1, -2, ...
std::string anchor_of(const std::string& heading) {
    std::string anchor;
    for (unsigned char c : heading) {
        if (std::isalnum(c) || c == '-' || c == '_' || c >= 0x80) anchor += static_cast<char>(std::tolower(c));
        else if (c == ' ') anchor += '-';
    }
    return anchor;
}

std::set<std::string> anchors_of(const fs::path& page) {
    std::set<std::string> anchors;
    std::map<std::string, int> seen;
    for (const Line& line : page_lines(page)) {
        if (line.fenced || line.text.empty() || line.text[0] != '#') continue;
        const auto text_start = line.text.find_first_not_of('#');
        if (text_start == std::string::npos || line.text[text_start] != ' ') continue;
        const std::string anchor = anchor_of(line.text.substr(text_start + 1));
        const int times = seen[anchor]++;
        anchors.insert(times == 0 ? anchor : anchor + "-" + std::to_string(times));
    }
    return anchors;
}

// The text outside `code spans`.
std::string without_code(const std::string& text) {
    std::string out;
    bool code = false;
    for (char c : text) {
        if (c == '`') code = !code;
        else if (!code) out += c;
    }
    return out;
}

// The code spans of a line.
std::vector<std::string> code_spans(const std::string& text) {
    std::vector<std::string> spans;
    for (std::size_t open = text.find('`'); open != std::string::npos;) {
        const std::size_t close = text.find('`', open + 1);
        if (close == std::string::npos) break;
        spans.push_back(text.substr(open + 1, close - open - 1));
        open = text.find('`', close + 1);
    }
    return spans;
}

struct Link {
    fs::path page;
    int line;
    std::string target;
};

std::vector<Link> links_of(const fs::path& page) {
    std::vector<Link> links;
    for (const Line& line : page_lines(page)) {
        if (line.fenced) continue;
        const std::string text = without_code(line.text);
        for (std::size_t at = text.find("]("); at != std::string::npos; at = text.find("](", at + 2)) {
            const std::size_t end = text.find(')', at + 2);
            if (end == std::string::npos) continue;
            links.push_back({page, line.number, text.substr(at + 2, end - at - 2)});
        }
    }
    return links;
}

// "" when the link resolves, else what is wrong.
std::string link_problem(const Link& link) {
    const std::string& target = link.target;
    if (target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0 || target.rfind("mailto:", 0) == 0)
        return "";
    const auto hash = target.find('#');
    const std::string file = target.substr(0, hash);
    const fs::path resolved = file.empty() ? link.page : link.page.parent_path() / file;
    if (!fs::exists(resolved)) return "no file " + file;
    if (hash == std::string::npos) return "";
    if (resolved.extension() != ".md") return "an anchor into a file that is no page";
    const std::string anchor = target.substr(hash + 1);
    if (!anchors_of(resolved).count(anchor)) return "no heading with the anchor #" + anchor + " in " + resolved.filename().string();
    return "";
}

// A command line split as a POSIX shell splits it (quotes, no expansion).
std::vector<std::string> shell_words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (char c : line) {
        if (quote) {
            if (c == quote) quote = 0;
            else word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            in_word = true;
        } else if (c == ' ') {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(word);
    return words;
}

// A word that stands for what the reader gives (MODEL, FILE.fmu, K/N, ...).
bool is_placeholder(const std::string& word) {
    if (word == "..." || word.find('[') == 0 || word.find('|') != std::string::npos) return true;
    std::size_t capitals = 0;
    for (char c : word.substr(0, word.find('.'))) {
        if (std::islower(static_cast<unsigned char>(c))) return false;
        if (std::isupper(static_cast<unsigned char>(c))) ++capitals;
    }
    return capitals >= 1 && word.find("--") != 0;
}

struct Example {
    fs::path page;
    int line;
    std::vector<std::string> words;  // after "blocksim"
};

// The blocksim command lines a page gives as examples: the lines of its
// sh blocks that run blocksim, and code spans "blocksim COMMAND ARGS..."
// with no placeholder. A synopsis is a plain fenced block, not an example.
std::vector<Example> examples_of(const fs::path& page) {
    std::vector<Example> examples;
    auto add = [&](int line, const std::string& text) {
        std::vector<std::string> words = shell_words(text.substr(0, text.find('#')));
        if (words.empty()) return;
        const std::string program = words[0];
        if (program != "blocksim" && !(program.size() > 9 && program.substr(program.size() - 9) == "/blocksim")) return;
        words.erase(words.begin());
        if (words.empty() || std::any_of(words.begin(), words.end(), is_placeholder)) return;
        examples.push_back({page, line, words});
    };
    for (const Line& line : page_lines(page)) {
        if (line.fenced) {
            if (line.language == "sh") add(line.number, line.text);
            continue;
        }
        for (const std::string& span : code_spans(line.text))
            if (span.rfind("blocksim ", 0) == 0 && span.find(' ', 9) != std::string::npos) add(line.number, span);
    }
    return examples;
}

// What parse_problem says of a command this build's blocksim does not have.
const std::string not_in_this_build = "not in this build";

// Parses an example as blocksim does; "" when it parses, else the message.
std::string parse_problem(const std::vector<std::string>& words) {
    const std::string& command = words[0];
    const std::vector<std::string> args(words.begin() + 1, words.end());
    try {
        if (command == "run") blocksim::parse_run_options(args);
        else if (command == "sweep") blocksim::parse_sweep_options(args);
        else if (command == "info") blocksim::parse_options(blocksim::setup_info_command, "info", args);
#ifdef BLOCKSIM_EXPORT
        else if (command == "export") blocksim::parse_options(blocksim::setup_export_command, "export", args);
#else
        else if (command == "export") return not_in_this_build;
#endif
        else if (command == "demo-model" && args.empty()) return "";
        else if (command == "--version" && args.empty()) return "";
        else return "no command " + command;
    } catch (const blocksim::UsageError& error) {
        return error.what();
    } catch (const CLI::Success&) {
        return "";
    }
    return "";
}

}  // namespace

TEST(Manual, EveryRelativeLinkAndAnchorResolves) {
    std::size_t checked = 0;
    for (const fs::path& page : manual_pages())
        for (const Link& link : links_of(page)) {
            ++checked;
            EXPECT_EQ("", link_problem(link)) << page.filename().string() << ":" << link.line << ": (" << link.target << ")";
        }
    // The README links every page of the manual.
    EXPECT_GE(checked, manual_pages().size() - 1);
}

TEST(Manual, EveryPageIsLinkedFromTheReadme) {
    std::set<std::string> linked;
    for (const Link& link : links_of(source_dir / "README.md")) linked.insert(link.target.substr(0, link.target.find('#')));
    for (const fs::path& page : manual_pages())
        if (page.filename() != "README.md") EXPECT_TRUE(linked.count("docs/" + page.filename().string())) << page;
}

TEST(Manual, TheCheckFindsWhatIsBroken) {
    const fs::path readme = source_dir / "README.md";
    EXPECT_EQ("no file docs/nothing.md", link_problem({readme, 1, "docs/nothing.md"}));
    EXPECT_EQ("no heading with the anchor #nothing in safety.md", link_problem({readme, 1, "docs/safety.md#nothing"}));
    EXPECT_EQ("", link_problem({readme, 1, "docs/safety.md#exit-statuses"}));
    EXPECT_EQ("windows-libraries-mexw64-mexw32", anchor_of("Windows libraries (`.mexw64`, `.mexw32`)"));
    EXPECT_EQ("safety-limits-and-exit-statuses", anchor_of("Safety, limits and exit statuses"));
    EXPECT_EQ((std::vector<std::string>{"info", "blower", "[2, 0.5, 0.1]", "x y"}),
              shell_words("info blower \"[2, 0.5, 0.1]\" 'x y'"));
    EXPECT_NE("", parse_problem({"run", "--stopp", "3"}));
    EXPECT_NE("", parse_problem({"sweep"}));
    EXPECT_NE("", parse_problem({"runn"}));
}

TEST(Manual, EveryExampleCommandLineParses) {
    std::size_t examples = 0, not_here = 0;
    for (const fs::path& page : manual_pages())
        for (const Example& example : examples_of(page)) {
            ++examples;
            std::string line;
            for (const auto& word : example.words) line += " " + word;
            const std::string problem = parse_problem(example.words);
            if (problem == not_in_this_build) {
                ++not_here;
                continue;
            }
            EXPECT_EQ("", problem) << page.filename().string() << ":" << example.line << ": blocksim" << line;
        }
    EXPECT_GE(examples, 8u);  // the README's first run and the pages' examples are all seen
    if (not_here > 0)
        std::cout << "skipped " << not_here << " examples of blocksim export: this build's blocksim has no export\n";
}
