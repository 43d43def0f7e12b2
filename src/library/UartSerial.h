#pragma once
// The library's serial link: one serial port opened by device name (57600 8N1,
// no flow control), serving one message system in driver mode. The send
// thread frames queued messages; the receive thread owns the port: it runs an
// I/O context that reads, writes the frames the send thread hands over, and
// reopens the port with growing waits when it fails. Every received frame is
// decoded and routed (MessageManager::procMessage) on the receive thread.
//
// Threads: the constructor, init(), deinit() and open() belong to the thread
// that starts and stops the library (never concurrently with each other).
// newData(), send() and receive() may be called from any thread. Only the
// receive thread touches the port while the threads run; everything else
// reaches it by posting work to that thread.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include "MessageManager.h"
#include "MessageSystem.h"
#include "Uart.h"

namespace ORQ {

class UartSerial : public Uart {
public:
    // Keeps a copy of dev (a null name is kept as "", which never opens).
    // Touches no device.
    UartSerial(const char* dev, MessageSystem* ms, MessageManager* mm);
    // deinit() must have stopped the threads first.
    virtual ~UartSerial();

    // Received bytes waiting for receive(), at most 250.
    uint8_t newData() override;
    // Hands the bytes to the port: ERROR_NO, or ERROR_EXCEPTION when the port
    // is closed or too much output is already waiting.
    uint8_t send(uint8_t* buffer, uint8_t bufferSize) override;
    // Moves up to maxBufferSize received bytes, oldest first; returns how many.
    uint8_t receive(uint8_t* buffer, uint8_t maxBufferSize) override;

    // Opens and configures the port; ERROR_NO or ERROR_EXCEPTION. While the
    // threads run only the receive thread calls it.
    uint8_t open(const char* dev);
    // Opens the port and, if that worked, starts the send and receive threads.
    void init();
    // Stops both threads and closes the port. Returns promptly in every state.
    void deinit();
    // recvBufferSize, errorCounter and retryCounter to 0.
    void reset();

    // Bodies of the two threads.
    void workerSend();
    void workerRecv();
    // What the receive thread does with the bytes of one read: appends them
    // in order, and at every end byte hands the gathered bytes to the message
    // system and routes the one message it takes out, before any later byte. Receive thread
    // only, or any one thread while the threads are not running.
    void procReceivedBytes(const uint8_t* bytes, std::size_t n);

    uint8_t getIsOpen() const;
    // The receive thread, or null when it is not running.
    boost::thread* getWorkerRecvThread() const;

private:
    static constexpr uint16_t recvBufferMax = 1000;
    static constexpr uint8_t sendFrameMax = 250;
    // Output that may wait for a far end that reads slowly or not at all;
    // frames beyond it are dropped so that neither thread ever blocks on it.
    static constexpr uint16_t txBufferMax = 4096;
    static constexpr uint8_t readChunk = 64;
    // An idle send thread is woken by the queue when it gains a message; this
    // poll is only a fallback.
    static constexpr unsigned idlePollMs = 100;
    static constexpr unsigned reopenSettleMs = 100;
    static constexpr unsigned reopenFirstWaitMs = 100;
    static constexpr unsigned reopenMaxWaitMs = 2000;

    // Opens the device raw and hands the descriptor to the port.
    bool openDescriptor(const char* name);

    // Receive thread (I/O context handlers) only.
    void startRead();
    void onRead(const boost::system::error_code& ec, std::size_t n);
    void reopen();
    void reopenAttempt();
    void onReopenSettled(const boost::system::error_code& ec);
    void onReopenWaited(const boost::system::error_code& ec);
    void startWrite();
    void onWritten(const boost::system::error_code& ec);
    void shutdown();
    void closePort();

    // Appends bytes to txPending and wakes the receive thread; false when
    // they do not fit.
    bool queueWrite(const uint8_t* bytes, uint8_t size);
    // Send thread: waits while the output gathered for the port has no room
    // for one more frame, so that messages stay queued (where a newer value
    // still refreshes them) rather than being framed and dropped. Ends at
    // once when the driver stops or the port closes.
    void waitForTxRoom();
    void countError();

    boost::asio::io_context io;
    boost::asio::serial_port port;
    boost::asio::steady_timer reopenTimer;  // settle and back-off waits of reopen()
    boost::thread* workerSendThread;
    boost::thread* workerRecvThread;

    // Guards recvBuffer and recvBufferSize; innermost, held only for copies
    // and for handing the gathered bytes to the message system.
    boost::mutex mutex;
    uint8_t recvBuffer[recvBufferMax];
    uint16_t recvBufferSize;

    // Guards txPending, txPendingSize and writing. writing is true from the
    // moment a wake-up is posted until the receive thread finds nothing more
    // to write, so at most one async write is in flight.
    boost::mutex txMutex;
    boost::condition_variable txRoom;  // txPending was emptied
    uint8_t txPending[txBufferMax];
    uint16_t txPendingSize;
    bool writing;
    // Bytes of the async write in flight; receive thread only.
    uint8_t txActive[txBufferMax];
    uint8_t readBuffer[readChunk];
    unsigned reopenWaitMs;

    std::atomic<uint8_t> run;
    std::atomic<uint8_t> isOpen;
    std::atomic<uint8_t> errorCounter;  // failures since the last open; diagnostic only
    std::atomic<uint8_t> retryCounter;  // open attempts since the last open; diagnostic only
    std::vector<char> myDev;  // NUL-terminated, kept whole whatever its length
    MessageSystem* ms;
    MessageManager* mm;
};

}  // namespace ORQ
