#include "flowrecord.h"

// Scaffold so the normal page can call the record; the record itself is built separately.
struct FlowRecord::Private
{
    bool recording = false;
    Clock clock;
};

FlowRecord::FlowRecord(QObject* parent)
    : QObject(parent)
    , d(new Private)
{
}

FlowRecord::~FlowRecord() { delete d; }

void FlowRecord::setClock(Clock clock) { d->clock = std::move(clock); }

void FlowRecord::start(double, const QString&) { d->recording = true; }

void FlowRecord::stop() { d->recording = false; }

void FlowRecord::step(double, double) {}

bool FlowRecord::isRecording() const { return d->recording; }
