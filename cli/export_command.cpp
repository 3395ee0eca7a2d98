#include "cli/export_command.h"

#include <QCoreApplication>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <map>
#include <optional>

#include "engine/dataset.h"
#include "engine/sql/query.h"
#include "query/core/select_builder.h"
#include "query/dbus/dbus_viewer_link.h"
#include "query/core/viewer_send.h"

namespace tarnel::cli {

namespace {

constexpr const char* kUsage =
    "usage: tarnel-cli export DATABASE TABLE --feature NAME --method marked|segments|line\n"
    "         --station FIELD [--secondary FIELD] [--number FIELD] [--where CONDITION] [--send]\n";

struct ExportOptions {
    std::string database;
    TSelectFields select;
    std::string feature;
    int method = query::dmMarkedLocations;
    bool send = false;
};

// Fills the options; false (after a message on err) when the words do not fit.
bool ParseOptions(const std::vector<std::string>& args, ExportOptions& options, std::ostream& err)
{
    static const std::map<std::string, int> methods = {
        {"marked", query::dmMarkedLocations},
        {"segments", query::dmLineSegments},
        {"line", query::dmContinuousLine},
    };
    std::vector<std::string> positional;
    bool methodGiven = false;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        if (arg == "--send") {
            options.send = true;
            continue;
        }
        std::string* target = nullptr;
        std::string method;
        if (arg == "--feature") target = &options.feature;
        else if (arg == "--station") target = &options.select.stationField;
        else if (arg == "--secondary") target = &options.select.secondField;
        else if (arg == "--number") target = &options.select.numberField;
        else if (arg == "--where") target = &options.select.condition;
        else if (arg == "--method") target = &method;
        else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            err << "tarnel-cli export: unknown option '" << arg << "'\n";
            return false;
        } else {
            positional.push_back(arg);
            continue;
        }
        if (k + 1 >= args.size()) {
            err << "tarnel-cli export: " << arg << " needs a value\n";
            return false;
        }
        *target = args[++k];
        if (target == &method) {
            auto found = methods.find(method);
            if (found == methods.end()) {
                err << "tarnel-cli export: unknown method '" << method
                    << "' (marked, segments or line)\n";
                return false;
            }
            options.method = found->second;
            methodGiven = true;
        }
    }
    if (positional.size() != 2 || !methodGiven) {
        if (positional.size() != 2) err << "tarnel-cli export: DATABASE and TABLE are needed\n";
        else err << "tarnel-cli export: --method is needed\n";
        return false;
    }
    options.database = positional[0];
    options.select.tableName = positional[1];
    return true;
}

// Stands in for the viewer when the stream is printed: nothing to open.
class PrintingLink : public query::TViewerLink {
public:
    bool openLink(const std::string&, const std::string&) override { return true; }
    bool poke(const std::string&, const std::vector<std::string>&) override { return true; }
    void closeLink() override {}
};

// Holds the lines, each ended by CR LF, until the stream is complete: a
// failure part way then leaves nothing half written on the output. Past a
// megabyte the lines go on into an unnamed temporary file (in TMPDIR, else
// /tmp), so memory stays flat however long the stream.
class LineSpool {
public:
    LineSpool() { buffer_.reserve(kHoldAt + 256); }
    ~LineSpool()
    {
        if (file_) std::fclose(file_);
    }
    LineSpool(const LineSpool&) = delete;
    LineSpool& operator=(const LineSpool&) = delete;

    void operator()(std::string_view line)
    {
        buffer_.append(line);
        buffer_ += "\r\n";
        if (buffer_.size() >= kHoldAt) spill();
    }

    // Writes `first`, then every line held, to out; false when out failed.
    bool copyTo(std::string_view first, std::ostream& out)
    {
        out.write(first.data(), static_cast<std::streamsize>(first.size()));
        out.write("\r\n", 2);
        if (file_) {
            if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) Fail("read back");
            std::string chunk(kHoldAt, '\0');
            size_t got;
            while ((got = std::fread(chunk.data(), 1, chunk.size(), file_)) > 0 && out)
                out.write(chunk.data(), static_cast<std::streamsize>(got));
            if (std::ferror(file_)) Fail("read back");
        }
        out.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        out.flush();
        return static_cast<bool>(out);
    }

private:
    static constexpr size_t kHoldAt = size_t(1) << 20;

    [[noreturn]] void Fail(const char* what)
    {
        throw std::runtime_error(std::string("could not ") + what + " the stream in the temporary file "
                                 + path_ + ": " + std::strerror(errno));
    }

    void spill()
    {
        if (!file_) {
            const char* dir = std::getenv("TMPDIR");
            path_ = std::string(dir && *dir ? dir : "/tmp") + "/tarnel-export-XXXXXX";
            const int fd = ::mkstemp(path_.data());
            if (fd < 0) Fail("hold");
            ::unlink(path_.c_str());   // gone when closed, whatever happens
            file_ = ::fdopen(fd, "w+b");
            if (!file_) {
                ::close(fd);
                Fail("hold");
            }
        }
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) Fail("write");
        buffer_.clear();
    }

    std::string buffer_;
    std::string path_;
    std::FILE* file_ = nullptr;
};

// Counts what goes out through another link.
class CountingLink : public query::TViewerLink {
public:
    explicit CountingLink(query::TViewerLink& inner) : inner_(inner) {}
    bool openLink(const std::string& s, const std::string& t) override { return inner_.openLink(s, t); }
    bool poke(const std::string& item, const std::vector<std::string>& lines) override
    {
        count_ = lines.size();
        delivered_ = inner_.poke(item, lines);
        return delivered_;
    }
    void closeLink() override { inner_.closeLink(); }
    size_t count() const { return count_; }
    bool delivered() const { return delivered_; }

private:
    query::TViewerLink& inner_;
    size_t count_ = 0;
    bool delivered_ = false;
};

} // namespace

TExportServices& ExportServices()
{
    static TExportServices services = [] {
        TExportServices s;
        s.buildSelect = [](const TSelectFields& f) {
            return query::BuildSelectStatement(query::QueryTableStem(f.tableName), f.stationField, f.secondField,
                                        f.numberField, f.condition);
        };
        s.runSelect = [](const std::string& database, const std::string& sql) -> std::unique_ptr<DataSet> {
            // Walked once or twice from the start: no need to keep the rows.
            return QueryResult::Run(database, sql, QueryResult::Rows::Streamed);
        };
        return s;
    }();
    return services;
}

int ExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    return ExportCommand(args, out, err, ExportServices());
}

int ExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const TExportServices& services)
{
    ExportOptions options;
    if (!ParseOptions(args, options, err)) {
        err << kUsage;
        return 2;
    }
    if (!services.buildSelect || !services.runSelect) {
        err << "tarnel-cli export: this build has no local SQL engine\n";
        return 1;
    }

    try {
        std::string sql = services.buildSelect(options.select);
        std::unique_ptr<DataSet> result = services.runSelect(options.database, sql);

        query::TViewerSendRequest request;
        request.result = result.get();
        // The fields a user could have chosen from: every field of the result.
        for (const auto& f : result->fields()) request.availableFields.push_back(f.name);
        request.stationFieldName = options.select.stationField;
        request.secondFieldName = options.select.secondField;
        request.numberFieldName = options.select.numberField;
        request.featureName = options.feature;
        request.displayMethod = options.method;

        bool failed = false;
        auto errorBox = [&](const std::string& message) {
            err << message << '\n';
            failed = true;
        };

        if (!options.send) {
            PrintingLink printing;
            LineSpool spool;
            std::string header;
            const bool sent = query::UseResultStream(
                request, printing, [&](std::string_view line) { spool(line); }, header, errorBox);
            if (!sent || failed) return 1;
            if (!spool.copyTo(header, out)) {
                err << "tarnel-cli export: could not write the stream to the output\n";
                return 1;
            }
            return 0;
        }

        // The D-Bus link runs Qt's event machinery: it needs an application object.
        std::optional<QCoreApplication> app;
        static int argc = 1;
        static char name[] = "tarnel-cli";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) app.emplace(argc, argv);

        std::unique_ptr<query::TViewerLink> link =
            services.makeLink ? services.makeLink() : std::make_unique<query::TDBusViewerLink>();
        CountingLink counting(*link);
        if (!query::UseResultSend(request, counting, errorBox) || failed) return 1;
        // The window ignores a poke that could not go out; a script should know.
        if (!counting.delivered()) {
            err << "tarnel-cli export: the stream could not be sent to the viewer\n";
            return 1;
        }
        out << "Sent " << counting.count() << " lines of feature \"" << options.feature
            << "\" to the viewer\n";
        return 0;
    } catch (const std::exception& e) {
        err << "tarnel-cli export: " << e.what() << '\n';
        return 1;
    }
}

} // namespace tarnel::cli
