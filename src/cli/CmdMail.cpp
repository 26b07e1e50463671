// quorvane-cli mail: one message through the SMTP client, driven as the
// report worker drives it (connect, AUTH LOGIN when asked and offered, send,
// disconnect).
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "cli/Cli.h"
#include "mail/SmtpClient.h"

namespace quorvane::cli {
namespace {

constexpr int ConnectTimeoutMs = 1000;
constexpr const char* PasswordVariable = "QUORVANE_SMTP_PASSWORD";

int Usage(const std::string& problem) {
    std::cerr
        << "quorvane-cli mail: " << problem << "\n"
        << "usage: quorvane-cli mail --host H [--port P] [--login L] [--auth] --from F --to T\n"
           "                         [--subject S] [--body-file F]\n"
           "The password is read from "
        << PasswordVariable << ".\n";
    return ExitUsage;
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

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
        return false;
    text = content.str();
    return true;
}

// The error as lines: the reply code in front of the server's first line.
std::string DescribeError(const SmtpError& error) {
    std::string text =
        error.ReplyCode != 0 ? std::to_string(error.ReplyCode) + " " + error.Text : error.Text;
    std::string out;
    for (const char c : text) {
        if (c != '\r')
            out += c;
    }
    return out;
}

} // namespace

int RunMail(CliContext& ctx) {
    std::vector<std::string> args = ctx.Args;
    const bool auth = TakeFlag(args, "--auth");
    std::map<std::string, std::string> values;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        static const char* const known[] = {"--host", "--port",    "--login",    "--from",
                                            "--to",   "--subject", "--body-file"};
        if (std::find(std::begin(known), std::end(known), name) == std::end(known))
            return Usage("unknown argument '" + name + "'");
        if (i + 1 >= args.size())
            return Usage(name + " needs a value");
        values[name] = args[++i];
    }
    for (const char* required : {"--host", "--from", "--to"}) {
        if (values.count(required) == 0)
            return Usage(std::string(required) + " is required");
    }

    SmtpClient client;
    client.Settings.UseLogin = auth;
    client.Settings.Host = values["--host"];
    if (values.count("--port") != 0 && !ParsePort(values["--port"], client.Settings.Port))
        return Usage("the port must be a number from 1 to 65535");
    client.Settings.Username = values["--login"];
    if (const char* password = std::getenv(PasswordVariable))
        client.Settings.Password = password;

    MailMessage message;
    if (values.count("--body-file") != 0) {
        std::string body;
        if (!ReadWholeFile(values["--body-file"], body)) {
            std::cerr << "quorvane-cli mail: cannot read " << values["--body-file"] << "\n";
            return ExitUsage;
        }
        message.SetBody(body);
    }
    message.SetFrom(values["--from"]);
    message.SetRecipients(values["--to"]);
    message.Subject = values["--subject"];

    bool sent = false;
    if (client.Connect(ConnectTimeoutMs)) {
        const bool ready = !auth || !client.OffersAuthScheme("LOGIN") || client.Authenticate();
        sent = ready && client.Send(message);
    }
    const SmtpError error = client.LastError();
    client.Disconnect(); // a failed Connect has closed its session already
    if (!sent) {
        std::cout << "Report sending failed\n" << DescribeError(error) << "\n";
        return ExitFailed;
    }
    std::cout << "Report sending O.K.\n";
    return ExitOk;
}

} // namespace quorvane::cli
