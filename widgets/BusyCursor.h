#pragma once

// Shows the hourglass for its lifetime; restored on every way out of the scope.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    static int depth(); // how many are active, for tests

private:
    bool active_ = false;
};
