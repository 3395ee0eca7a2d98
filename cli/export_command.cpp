#include "cli/export_command.h"

#include <QCoreApplication>
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

// Writes the lines, each ended by CR LF, through a buffer that goes out
// whenever it fills (what is left goes out on flush()).
class LineWriter {
public:
    explicit LineWriter(std::ostream& out) : out_(out) { buffer_.reserve(kFlushAt + 256); }
    void operator()(std::string_view line)
    {
        buffer_.append(line);
        buffer_ += "\r\n";
        if (buffer_.size() >= kFlushAt) flush();
    }
    void flush()
    {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }

private:
    static constexpr size_t kFlushAt = size_t(1) << 16;
    std::ostream& out_;
    std::string buffer_;
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
            LineWriter writer(out);
            const bool sent = query::UseResultStream(
                request, printing, [&](std::string_view line) { writer(line); }, errorBox);
            if (!sent || failed) return 1;
            writer.flush();
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
