// The main module: main flow, update procedure, web package writer, command exchange,
// port discovery and flat image builder. Each concern lives in its own .cpp file.
#ifndef LUMIVANE_FW_UPGRADE_H
#define LUMIVANE_FW_UPGRADE_H

#include <cstdint>

#include "Platform.h"

#define FIRMWARE_VERSION_TO_UPLOAD "1.0.8"
#define DATA_BUFFER_SIZE (1024 * 1000)
#define CONCAT_BUFFER_SIZE (4 * 1024 * 1024)

// Long-lived buffers, owned by the main flow.
extern char *gHexFirmware;
extern char *gHexFPGA_Code;
extern char *gDataBuffer;

// Flat image and what is announced of it.
extern uint8_t *gDataConcatenated;
extern int gDataConcatenatedLenght;
extern uint32_t gDataConcatenatedCheckSum;

// Port selection, by discovery or by the operator.
extern int gComPortNumber;
extern int gBaudRate;

// Command exchange.
BOOL sendCommand(char *commandToSend, BOOL isEchoON, BOOL validateResponse, char *expectedResponse);
BOOL sendData(uint8_t *dataToSend, int dataToSendLength, BOOL validateResponse, char *expectedResponse);
BOOL StrRemoveNL(char *str, char ch);

// Port and baud-rate discovery.
BOOL detectComPortAndBaudrate(void);

// Flat image builder.
BOOL ValidateFwAndConcatenateData(char *gHexData);
void ComputeConcatenatedDataCheckSum(void);

// Update procedure, web package, main flow.
BOOL updateFirmware(void);
BOOL createFirmwareFileForWeb(void);
void dipsplayLastMessageToUserBeforeExit(char *lastMessage);

#endif
