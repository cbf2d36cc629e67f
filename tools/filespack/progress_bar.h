// A one-line progress bar on standard error, drawn only when that is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

class ProgressBar {
  public:
    ProgressBar(std::ostream& out, bool enabled, std::string label);
    ~ProgressBar();

    void Update(int64_t done, int64_t total);
    // Draws the final state and ends the line; later updates are ignored.
    void Finish();
    // Removes the bar so that a message can take its line.
    void Clear();

  private:
    void Draw(int64_t done, int64_t total);

    std::ostream& out_;
    bool enabled_;
    bool drawn_ = false;
    std::string label_;
    int last_permille_ = -1;
    std::chrono::steady_clock::time_point last_draw_;
    size_t width_ = 0;
    int64_t last_total_ = 0;
};

// Whether standard error is an interactive terminal.
bool StderrIsTerminal();
