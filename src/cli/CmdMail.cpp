// quorvane-cli mail: one message through the SMTP client, driven as the
// report worker drives it (connect, TLS as chosen, AUTH when asked and
// offered, send, disconnect).
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/Cli.h"
#include "mail/SmtpClient.h"
#include "platform/TerminalText.h"

namespace quorvane::cli {
namespace {

constexpr int ConnectTimeoutMs = 1000;
constexpr const char* PasswordVariable = "QUORVANE_SMTP_PASSWORD";
// The way out when the server cannot encrypt and the user accepts that.
constexpr const char* PasswordInClearHint = "--security none sends the password unencrypted.";

int Usage(const std::string& problem) {
    return UsageError("mail", problem, CommandUsage("mail"));
}

bool ParsePort(const std::string& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(text);
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool ParseSecurity(const std::string& text, SMTPSecurityMode& security) {
    static const std::pair<const char*, SMTPSecurityMode> names[] = {
        {"auto", SMTPSecurityMode::Auto},
        {"none", SMTPSecurityMode::None},
        {"starttls", SMTPSecurityMode::StartTLS},
        {"tls", SMTPSecurityMode::TLS},
    };
    for (const auto& [name, value] : names) {
        if (text == name) {
            security = value;
            return true;
        }
    }
    return false;
}

// Reads the body file whole. Only a regular file will do: a directory or a
// device would give an empty or endless body. Empty when it worked, else why not.
std::string ReadBodyFile(const std::string& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::strerror(errno);
    struct stat status {};
    std::string problem;
    if (fstat(fd, &status) != 0)
        problem = std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        problem = S_ISDIR(status.st_mode) ? "is a directory" : "is not a regular file";
    char chunk[65536];
    while (problem.empty()) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0)
            text.append(chunk, static_cast<size_t>(got));
        else if (got == 0)
            break;
        else if (errno != EINTR)
            problem = std::strerror(errno);
    }
    close(fd);
    return problem;
}

// The error as lines: the reply code in front of the server's first line.
// The text comes from the server, so no control character of it reaches the
// terminal: each prints as '?', and only the line breaks stay.
std::string DescribeError(const SmtpError& error) {
    std::string text =
        error.ReplyCode != 0 ? std::to_string(error.ReplyCode) + " " + error.Text : error.Text;
    if (error.PasswordWithheld)
        text += "\n" + std::string(PasswordInClearHint);
    return TerminalText(text, true);
}

} // namespace

int RunMail(CliContext& ctx) {
    std::vector<std::string> args = ctx.Args;
    const bool auth = TakeFlag(args, "--auth");
    std::map<std::string, std::string> values;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        static const char* const known[] = {"--host",      "--port",     "--login",
                                            "--from",      "--to",       "--subject",
                                            "--body-file", "--security", "--ca-file"};
        if (std::find(std::begin(known), std::end(known), name) == std::end(known))
            return Usage(UnexpectedArgument("mail", name));
        // "--host --from a@x" lost the host's value: say so instead of sending
        // to a server called "--from".
        if (i + 1 >= args.size() ||
            std::find(std::begin(known), std::end(known), args[i + 1]) != std::end(known))
            return Usage(name + " needs a value");
        if (values.count(name) != 0)
            return Usage(name + " is given twice");
        values[name] = args[++i];
    }
    for (const char* required : {"--host", "--from", "--to"}) {
        if (values.count(required) == 0)
            return Usage(std::string(required) + " is required");
    }

    SmtpClient client;
    client.Config.UseLogin = auth;
    client.Config.Host = values["--host"];
    if (values.count("--port") != 0 && !ParsePort(values["--port"], client.Config.Port))
        return Usage("the port must be a number from 1 to 65535");
    client.Config.Username = values["--login"];
    if (values.count("--security") != 0 &&
        !ParseSecurity(values["--security"], client.Config.Security))
        return Usage("--security must be auto, none, starttls or tls");
    client.Config.CaFile = values["--ca-file"];
    if (const char* password = std::getenv(PasswordVariable))
        client.Config.Password = password;

    MailMessage message;
    if (values.count("--body-file") != 0) {
        std::string body;
        const std::string problem = ReadBodyFile(values["--body-file"], body);
        if (!problem.empty()) {
            std::cerr << "quorvane-cli mail: cannot read the body file " << values["--body-file"]
                      << ": " << problem << "\n";
            return ExitUsage;
        }
        message.SetBody(body);
    }
    message.SetFrom(values["--from"]);
    message.SetRecipients(values["--to"]);
    message.Subject = values["--subject"];

    bool sent = false;
    if (client.Connect(ConnectTimeoutMs)) {
        const bool ready = !auth || !client.OffersAuthentication() || client.Authenticate();
        sent = ready && client.Send(message);
    }
    const SmtpError error = client.LastError();
    client.Disconnect(); // a failed Connect has closed its session already
    if (!sent) {
        std::cerr << "Report sending failed\n" << DescribeError(error) << "\n";
        return ExitFailed;
    }
    std::cout << "Report sending O.K.\n";
    return ExitOk;
}

} // namespace quorvane::cli
