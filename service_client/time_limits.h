// How long the service client waits for the service. Every socket phase has
// a time-out of its own, and every exchange (one SOAP call, one upload) has an
// overall deadline, so a service that answers one byte at a time cannot hold
// the host application for longer than that deadline.
#pragma once

#include <chrono>
#include <cstdint>

struct OslTimeLimits {
  // SOAP calls, in seconds: connecting, each send, and silence of the service
  // while a reply is awaited.
  int callConnect = 30;
  int callSend = 60;
  int callReceive = 120;
  // The longest one SOAP call may take, from connecting to the last byte of
  // the reply: room for every phase at its limit, and no more than a designer
  // can be asked to wait in front of a progress bar.
  std::chrono::milliseconds callDeadline = std::chrono::minutes(5);

  // Uploads, in seconds: connecting, each send, silence of the service while
  // the reply is awaited, accepting.
  int upload = 60;
  // The longest one upload may take: uploadDeadlineFloor plus the file's size
  // sent at uploadMinRate bytes per second (a slow line still gets there; a
  // service that trickles its reply does not hold the host for long).
  std::chrono::milliseconds uploadDeadlineFloor = std::chrono::minutes(2);
  std::uint64_t uploadMinRate = 32 * 1024;

  // The deadline of an upload of `bytes` bytes (the floor when the rate is 0).
  std::chrono::milliseconds UploadDeadline(std::uint64_t bytes) const {
    if (uploadMinRate == 0) return uploadDeadlineFloor;
    return uploadDeadlineFloor + std::chrono::milliseconds(bytes * 1000 / uploadMinRate);
  }
};
