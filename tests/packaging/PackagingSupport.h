#pragma once
// Running a program for the packaging tests and reading what it wrote.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace zem::test {

struct Ran {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `program` with `args` (and `environment` added to this process's),
// waiting up to `seconds`; exitCode -1 when it did not start or end.
inline Ran RunProgram(const QString& program, const QStringList& args, const QStringList& environment = {},
                      int seconds = 120, const QString& workingDir = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : environment)
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.start(program, args);
    Ran ran;
    if (!process.waitForFinished(seconds * 1000)) {
        process.kill();
        process.waitForFinished();
        ran.err = "did not end within the time: " + program.toStdString();
        return ran;
    }
    ran.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    ran.out = process.readAllStandardOutput().toStdString();
    ran.err = process.readAllStandardError().toStdString();
    return ran;
}

// Runs a bash script.
inline Ran RunBash(const std::string& script, const QStringList& environment = {}, int seconds = 120) {
    return RunProgram(QStringLiteral("bash"), {QStringLiteral("-c"), QString::fromStdString(script)}, environment,
                      seconds);
}

// Whether a program of this name is on the PATH.
inline bool Have(const char* program) {
    return RunBash(std::string("command -v ") + program + " >/dev/null").exitCode == 0;
}

// The manual page `page` rendered as plain text in lines long enough for every paragraph.
inline Ran Render(const std::string& page, const char* device = "ascii") {
    return RunProgram(QStringLiteral("groff"), {QStringLiteral("-man"), QStringLiteral("-T") + QLatin1String(device),
                                                QStringLiteral("-rLL=400n"), QStringLiteral("-P-cbou"),
                                                QStringLiteral("-ww"), QString::fromStdString(page)});
}

inline std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs of white space as one space.
inline std::string Collapsed(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool space = c == ' ' || c == '\n' || c == '\t';
        if (space && (out.empty() || out.back() == ' '))
            continue;
        out += space ? ' ' : c;
    }
    return out;
}

// The text of an HTML page as a reader sees it: tags out, the usual entities
// turned back into their characters, runs of white space as one.
inline std::string PageText(const std::string& html) {
    std::string text = std::regex_replace(html, std::regex("<[^>]*>"), " ");
    for (const auto& [entity, plain] : std::map<std::string, std::string>{
             {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&nbsp;", " "}, {"&amp;", "&"}}) {
        for (size_t at; (at = text.find(entity)) != std::string::npos;)
            text.replace(at, entity.size(), plain);
    }
    return Collapsed(text);
}

// The values of a language file, by key.
inline std::map<std::string, std::string> LanguageValues(const std::string& path) {
    std::map<std::string, std::string> values;
    std::istringstream in(ReadWhole(path));
    const auto trim = [](std::string text) {
        text.erase(0, text.find_first_not_of(" \t\r"));
        text.erase(text.find_last_not_of(" \t\r") + 1);
        return text;
    };
    for (std::string line; std::getline(in, line);) {
        const size_t equals = line.find('=');
        if (line.empty() || line[0] == ';' || line[0] == '[' || equals == std::string::npos)
            continue;
        values[trim(line.substr(0, equals))] = trim(line.substr(equals + 1));
    }
    return values;
}

} // namespace zem::test
