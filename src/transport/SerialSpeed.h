#pragma once
// Setting and reading a serial line speed in bits per second, for any speed
// the driver accepts.

namespace bilhetor::transport_detail {

// Sets input and output speed to baud; -1 with errno on failure.
int SetArbitrarySpeed(int fd, int baud);
// The output speed in bits per second; -1 with errno on failure.
int GetLineSpeed(int fd);

}  // namespace bilhetor::transport_detail
