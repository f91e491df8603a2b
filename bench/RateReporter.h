// A console reporter that also keeps each benchmark's rate counter, so a
// benchmark program can print ratios at the end: the median when run with
// repetitions, else the single run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace zo::bench {

class RateReporter : public benchmark::ConsoleReporter {
public:
    // `counter`: "items_per_second" or "bytes_per_second".
    explicit RateReporter(std::string counter) : counter_(std::move(counter)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            auto it = run.counters.find(counter_);
            if (it == run.counters.end())
                continue;
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                rates_[name] = it->second.value;
                medians_.insert(name);
            } else if (run.run_type == Run::RT_Iteration && !medians_.count(name)) {
                rates_[name] = it->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The rate of benchmark `name`, or 0 if it did not run.
    double Rate(const std::string& name) const {
        auto it = rates_.find(name);
        return it == rates_.end() ? 0.0 : it->second;
    }

private:
    std::string counter_;
    std::map<std::string, double> rates_;
    std::set<std::string> medians_;
};

}  // namespace zo::bench
