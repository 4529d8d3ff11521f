// help_to_man PAGE VERSION OUT: the man page PAGE(1) from the help text a
// blocksim command prints for --help, read from standard input; the
// commands it lists, one per line on standard output. The build
// runs it on every command's help (man_pages.cmake), so the man pages say
// what --help says and nothing else.
//
// CLI11's help is a description, a "Usage:" line, sections ("Positionals:",
// "Options:", "Subcommands:") of items indented by two spaces (a name, two
// or more spaces, what it does), and a footer.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Text as roff shows it: a backslash and a minus kept as they are typed
// (copied from a terminal, an option must still work), no line read as a
// request.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

struct Item {
    std::string name, what;
};
struct Section {
    std::string title;
    std::vector<Item> items;
};
struct Help {
    std::string description, usage, footer;
    std::vector<Section> sections;
};

bool is_section_title(const std::string& line) {
    return line == "Positionals:" || line == "Options:" || line == "Subcommands:";
}

Help parse(std::istream& in) {
    Help help;
    std::string line;
    enum { description, sections, footer } part = description;
    while (std::getline(in, line)) {
        if (part == description) {
            if (line.rfind("Usage: ", 0) == 0) {
                help.usage = line.substr(7);
                part = sections;
            } else if (!trimmed(line).empty()) {
                help.description += (help.description.empty() ? "" : " ") + trimmed(line);
            }
        } else if (part == sections) {
            if (is_section_title(line)) {
                help.sections.push_back({line.substr(0, line.size() - 1), {}});
            } else if (line.rfind("  ", 0) == 0 && !help.sections.empty()) {
                const std::string text = line.substr(2);
                if (text[0] != ' ') {  // a new item: its name, then what it does
                    const auto gap = text.find("  ");
                    help.sections.back().items.push_back(
                        {trimmed(text.substr(0, gap)), gap == std::string::npos ? "" : trimmed(text.substr(gap))});
                } else if (!help.sections.back().items.empty()) {
                    help.sections.back().items.back().what += " " + trimmed(text);
                }
            } else if (!trimmed(line).empty()) {
                part = footer;
                help.footer = trimmed(line);
            }
        } else {
            help.footer += (trimmed(line).empty() ? "\n" : help.footer.empty() || help.footer.back() == '\n' ? "" : " ") +
                           trimmed(line);
        }
    }
    return help;
}

// Up to the end of the first sentence or clause ("." or ";"), outside
// parentheses: the NAME line's summary.
std::string first_clause(const std::string& text) {
    int depth = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '(') ++depth;
        else if (text[i] == ')') --depth;
        else if (depth == 0 && (text[i] == '.' || text[i] == ';') && text[i + 1] == ' ') return text.substr(0, i);
    }
    return text.back() == '.' ? text.substr(0, text.size() - 1) : text;
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string page(const std::string& name, const std::string& version, const Help& help) {
    std::ostringstream out;
    const std::string program = name.substr(0, name.find('-'));
    out << ".TH " << roff(upper(name)) << " 1 \"\" \"" << roff(program + " " + version) << "\" \"User Commands\"\n";
    out << ".SH NAME\n" << roff(name) << " \\- " << roff(first_clause(help.description)) << "\n";
    out << ".SH SYNOPSIS\n" << roff(help.usage) << "\n";
    out << ".SH DESCRIPTION\n" << roff(help.description) << "\n";
    std::vector<std::string> commands;
    for (const Section& section : help.sections) {
        const bool is_commands = section.title == "Subcommands";
        out << ".SH " << (is_commands ? "COMMANDS" : upper(section.title)) << "\n";
        for (const Item& item : section.items) {
            out << ".TP\n.B " << roff(item.name) << "\n" << roff(item.what);
            if (is_commands) {
                commands.push_back(program + "-" + item.name);
                const bool stopped = !item.what.empty() && item.what.back() == '.';
                out << (stopped ? " " : ". ") << "See \\fB" << roff(commands.back()) << "\\fR(1).";
            }
            out << "\n";
        }
    }
    if (!help.footer.empty()) {
        out << ".SH NOTES\n";
        std::istringstream paragraphs(help.footer);
        std::string paragraph;
        bool first = true;
        while (std::getline(paragraphs, paragraph)) {
            if (paragraph.empty()) continue;
            out << (first ? "" : ".PP\n") << roff(paragraph) << "\n";
            first = false;
        }
    }
    out << ".SH SEE ALSO\n";
    if (commands.empty()) {
        out << ".BR " << roff(program) << " (1)\n";
    } else {
        for (std::size_t i = 0; i < commands.size(); ++i)
            out << ".BR " << roff(commands[i]) << " (1)" << (i + 1 < commands.size() ? "," : "") << "\n";
    }
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: help_to_man PAGE VERSION OUT < help.txt\n";
        return 2;
    }
    const Help help = parse(std::cin);
    if (help.usage.empty()) {
        std::cerr << "help_to_man: " << argv[1] << ": the help text has no \"Usage:\" line\n";
        return 1;
    }
    for (const Section& section : help.sections)
        if (section.title == "Subcommands")
            for (const Item& item : section.items) std::cout << item.name << "\n";
    std::ofstream out(argv[3], std::ios::binary);
    out << page(argv[1], argv[2], help);
    out.close();
    if (!out) {
        std::cerr << "help_to_man: cannot write " << argv[3] << "\n";
        return 1;
    }
    return 0;
}
