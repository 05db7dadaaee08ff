// Captures what the system logs on spdlog's default logger, for the tests
// that check messages and levels.
#ifndef VELA_TESTS_LOG_CAPTURE_H
#define VELA_TESTS_LOG_CAPTURE_H

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vela_test {

struct LogLine
{
    spdlog::level::level_enum level;
    std::string text;
};

class CaptureSink : public spdlog::sinks::base_sink<std::mutex>
{
public:
    std::vector<LogLine> Lines()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return _lines;
    }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        _lines.push_back(
            {msg.level, std::string(msg.payload.data(), msg.payload.size())});
    }
    void flush_() override {}

private:
    std::vector<LogLine> _lines;
};

/// While alive, the default logger writes only to a capture sink, at the
/// given level. The previous default logger comes back on destruction.
class LogCapture
{
public:
    explicit LogCapture(spdlog::level::level_enum level = spdlog::level::trace)
        : _previous(spdlog::default_logger())
        , _sink(std::make_shared<CaptureSink>())
    {
        auto logger = std::make_shared<spdlog::logger>("capture", _sink);
        logger->set_level(level);
        spdlog::set_default_logger(logger);
    }
    ~LogCapture() { spdlog::set_default_logger(_previous); }

    std::vector<LogLine> Lines() { return _sink->Lines(); }

    /// Number of lines at \p level whose text equals \p text.
    size_t Count(spdlog::level::level_enum level, const std::string& text)
    {
        auto lines = Lines();
        return std::count_if(lines.begin(), lines.end(), [&](const LogLine& l) {
            return l.level == level && l.text == text;
        });
    }

    /// Number of lines at \p level.
    size_t CountLevel(spdlog::level::level_enum level)
    {
        auto lines = Lines();
        return std::count_if(lines.begin(), lines.end(), [&](const LogLine& l) {
            return l.level == level;
        });
    }

private:
    std::shared_ptr<spdlog::logger> _previous;
    std::shared_ptr<CaptureSink> _sink;
};

} // namespace vela_test

#endif // VELA_TESTS_LOG_CAPTURE_H
