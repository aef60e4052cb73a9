// Runs one compile of the build and refuses it when a file includes a file that its layer may not see:
//   layer-check <rules file> -- <compiler> <arguments>...
// The compiler lists every header it opens and how deep (-H), so the check judges what was really
// opened, by its real path, whatever the include's spelling: a relative path that climbs out of a
// layer, an absolute path or a <...> spelling all end at a file that belongs to some folder. A
// header that the layer's include paths do not reach fails the compile; when the file it names
// is one of the project's, the refusal is named the same way.
//
// The rules file (written by cmake/MarlquinLayering.cmake) has one tab-separated record a line:
//   root      <folder>            the project's sources
//   skip      <folder>            the build folder: generated files are not the project's
//   standard  <folder>            a folder of the standard library's or the compiler's own headers
//   layer     <folder> <headers> [<seen folder>...]
// A project file belongs to the innermost layer folder that holds it, and may include the files of
// its own layer and of the folders its layer sees. A seen folder "X" holds the files under X but
// not those of the layers inside X; "X/..." holds every file under X. <headers> is "standard" when
// the layer may include no header from outside the project but the standard library's, or "any".
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Layer
{
    std::string folder;
    bool standardOnly = false;
    std::vector<std::string> sees;
};

struct Rules
{
    std::string root;
    std::vector<std::string> skipped;
    std::vector<std::string> standard;
    std::vector<Layer> layers;
};

struct Compile
{
    int status = 1;
    std::string diagnostics;
};

struct OpenedFile
{
    std::string real;
    bool exists = false;
    std::string relative; // empty when not a project file
    const Layer* layer = nullptr;
};

bool IsInside(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t'))
        if (!field.empty())
            fields.push_back(field);
    return fields;
}

bool ReadRules(const char* path, Rules& rules)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() == 2 && fields[0] == "root")
            rules.root = fields[1];
        else if (fields.size() == 2 && fields[0] == "skip")
            rules.skipped.push_back(fields[1]);
        else if (fields.size() == 2 && fields[0] == "standard")
            rules.standard.push_back(fields[1]);
        else if (fields.size() >= 3 && fields[0] == "layer")
            rules.layers.push_back({fields[1], fields[2] == "standard", {fields.begin() + 3, fields.end()}});
    }
    return !rules.root.empty();
}

std::string RealPath(const std::string& path)
{
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
        return {};
    std::string real(resolved);
    std::free(resolved);
    return real;
}

std::string ParentFolder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

class Classifier
{
public:
    explicit Classifier(const Rules& rules) : rules_(rules) {}

    const OpenedFile& Classify(const std::string& opened)
    {
        auto found = cache_.find(opened);
        if (found != cache_.end())
            return found->second;
        OpenedFile file;
        file.real = RealPath(opened);
        file.exists = !file.real.empty();
        if (!file.exists)
            file.real = opened;
        if (file.exists && IsProjectFile(file.real)) {
            file.relative = file.real.substr(rules_.root.size() + 1);
            file.layer = InnermostLayer(file.relative);
        }
        return cache_.emplace(opened, file).first->second;
    }

private:
    bool IsProjectFile(const std::string& real) const
    {
        if (!IsInside(real, rules_.root))
            return false;
        for (const std::string& skipped : rules_.skipped)
            if (IsInside(real, skipped))
                return false;
        return true;
    }

    const Layer* InnermostLayer(const std::string& relative) const
    {
        const Layer* innermost = nullptr;
        for (const Layer& layer : rules_.layers)
            if (IsInside(relative, layer.folder) && (!innermost || layer.folder.size() > innermost->folder.size()))
                innermost = &layer;
        return innermost;
    }

    const Rules& rules_;
    std::map<std::string, OpenedFile> cache_;
};

class Verdicts
{
public:
    explicit Verdicts(const Rules& rules) : rules_(rules) {}

    // Judges one include made by a file of a layer.
    void Judge(const OpenedFile& includer, const OpenedFile& included)
    {
        const Layer& layer = *includer.layer;
        if (!included.relative.empty()) {
            if (!Sees(layer, included))
                Refuse(includer.relative + " includes " + included.relative + ", which " + layer.folder + " may not see"
                       + SeenList(layer));
        } else if (layer.standardOnly && !IsStandardHeader(included.real)) {
            Refuse(includer.relative + " includes " + included.real + ", which is not a standard library header; "
                   + layer.folder + " may include no other");
        }
    }

    bool Any() const { return !messages_.empty(); }

    std::string Text() const
    {
        std::string text;
        for (const std::string& message : messages_)
            text += "error: layering: " + message + "\n";
        return text;
    }

private:
    static bool Holds(const std::string& seen, const OpenedFile& file)
    {
        static const std::string everything = "/...";
        const bool whole = seen.size() > everything.size()
                           && seen.compare(seen.size() - everything.size(), everything.size(), everything) == 0;
        const std::string folder = whole ? seen.substr(0, seen.size() - everything.size()) : seen;
        if (!IsInside(file.relative, folder))
            return false;
        return whole || !file.layer || !IsInside(file.layer->folder, folder);
    }

    static bool Sees(const Layer& layer, const OpenedFile& file)
    {
        if (file.layer == &layer)
            return true;
        for (const std::string& seen : layer.sees)
            if (Holds(seen, file))
                return true;
        return false;
    }

    static std::string SeenList(const Layer& layer)
    {
        if (layer.sees.empty())
            return " (it sees only itself)";
        std::string list = " (it sees";
        for (const std::string& seen : layer.sees)
            list += " " + seen;
        return list + ")";
    }

    bool IsStandardHeader(const std::string& real) const
    {
        for (const std::string& folder : rules_.standard)
            if (IsInside(real, folder))
                return true;
        return false;
    }

    void Refuse(const std::string& message)
    {
        if (std::find(messages_.begin(), messages_.end(), message) == messages_.end())
            messages_.push_back(message);
    }

    const Rules& rules_;
    std::vector<std::string> messages_;
};

std::string ArgumentAfter(const std::vector<std::string>& command, const char* flag)
{
    for (size_t i = 0; i + 1 < command.size(); ++i)
        if (command[i] == flag)
            return command[i + 1];
    return {};
}

Compile RunCompiler(std::vector<std::string> command)
{
    command.push_back("-H");
    std::vector<char*> argv;
    for (std::string& argument : command)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    Compile compile;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        compile.diagnostics = std::string("layer-check: pipe: ") + std::strerror(errno) + "\n";
        return compile;
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDERR_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "layer-check: cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    close(pipeEnds[1]);
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
        if (got > 0)
            compile.diagnostics.append(buffer, size_t(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    close(pipeEnds[0]);
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (child < 0)
        compile.diagnostics += std::string("layer-check: fork: ") + std::strerror(errno) + "\n";
    else if (WIFEXITED(status))
        compile.status = WEXITSTATUS(status);
    return compile;
}

// Walks the compiler's list of opened headers, judges every include made by a project file, and
// returns the compiler's own diagnostics without that list.
std::string JudgeOpenedHeaders(const std::string& output, const std::string& source, Classifier& classifier,
                               Verdicts& verdicts)
{
    std::string diagnostics;
    std::vector<const OpenedFile*> includers{&classifier.Classify(source)};
    bool guardAdvice = false;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t depth = line.find_first_not_of('.');
        if (depth != std::string::npos && depth > 0 && line[depth] == ' ') {
            const OpenedFile& opened = classifier.Classify(line.substr(depth + 1));
            includers.resize(std::min(depth, includers.size()));
            const OpenedFile& includer = *includers.back();
            if (includer.layer)
                verdicts.Judge(includer, opened);
            includers.push_back(&opened);
        } else if (line == "Multiple include guards may be useful for:") {
            guardAdvice = true;
        } else if (!guardAdvice || line.find(':') != std::string::npos) {
            diagnostics += line + "\n";
        }
    }
    return diagnostics;
}

// A header that the include paths do not reach was never opened: judges the file it would have been.
void JudgeMissingHeaders(const std::string& diagnostics, const Rules& rules, Classifier& classifier, Verdicts& verdicts)
{
    static const std::regex gccMissing("^(.+):[0-9]+:[0-9]+: fatal error: (.+): No such file or directory$");
    static const std::regex clangMissing("^(.+):[0-9]+:[0-9]+: fatal error: '(.+)' file not found$");
    std::istringstream lines(diagnostics);
    std::string line;
    std::smatch match;
    while (std::getline(lines, line)) {
        if (!std::regex_match(line, match, gccMissing) && !std::regex_match(line, match, clangMissing))
            continue;
        const OpenedFile& includer = classifier.Classify(match[1].str());
        if (!includer.layer)
            continue;
        const std::string spelled = match[2].str();
        for (const std::string& candidate : {ParentFolder(includer.real) + "/" + spelled, rules.root + "/" + spelled}) {
            const OpenedFile& meant = classifier.Classify(candidate);
            if (meant.exists && !meant.relative.empty()) {
                verdicts.Judge(includer, meant);
                break;
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
        std::fprintf(stderr, "usage: layer-check <rules file> -- <compiler> <arguments>...\n");
        return 2;
    }
    Rules rules;
    if (!ReadRules(argv[1], rules)) {
        std::fprintf(stderr, "layer-check: cannot read the rules in %s\n", argv[1]);
        return 2;
    }
    const std::vector<std::string> command(argv + 3, argv + argc);
    const std::string source = ArgumentAfter(command, "-c");
    const std::string object = ArgumentAfter(command, "-o");
    if (source.empty()) {
        execvp(argv[3], argv + 3);
        std::fprintf(stderr, "layer-check: cannot run %s: %s\n", argv[3], std::strerror(errno));
        return 127;
    }

    const Compile compile = RunCompiler(command);
    Classifier classifier(rules);
    Verdicts verdicts(rules);
    const std::string diagnostics = JudgeOpenedHeaders(compile.diagnostics, source, classifier, verdicts);
    if (compile.status != 0)
        JudgeMissingHeaders(diagnostics, rules, classifier, verdicts);
    const std::string report = diagnostics + verdicts.Text();
    std::fwrite(report.data(), 1, report.size(), stderr);
    if (!verdicts.Any())
        return compile.status;
    if (!object.empty())
        std::remove(object.c_str());
    return compile.status != 0 ? compile.status : 1;
}
