// The C face of tarsel::Port. Nothing may throw across it.
#include "tarsel.h"

#include "tarsel_port.h"

#include <cstdio>
#include <new>

struct tarsel_handle {
    tarsel::Port port;
};

namespace {

void report(char* error, size_t size, const std::string& text)
{
    if (error && size > 0) std::snprintf(error, size, "%s", text.c_str());
}

tarsel::MemoryBackend* memory(const tarsel_t* port)
{
    return dynamic_cast<tarsel::MemoryBackend*>(&port->port.backend());
}

} // namespace

extern "C" {

tarsel_t* tarsel_open(const char* backend, char* error, size_t error_size)
{
    try {
        std::string why;
        auto opened = tarsel::openBackend(backend ? backend : "auto", why);
        if (!opened) {
            report(error, error_size, why);
            return nullptr;
        }
        report(error, error_size, {});
        return new tarsel_handle{tarsel::Port(std::move(opened))};
    }
    catch (const std::bad_alloc&) {
        report(error, error_size, "out of memory");
        return nullptr;
    }
}

void tarsel_close(tarsel_t* port)
{
    delete port;
}

const char* tarsel_backend(const tarsel_t* port)
{
    return port->port.backend().name().data();
}

uint16_t tarsel_get_address(const tarsel_t* port)
{
    return port->port.address();
}
void tarsel_set_address(tarsel_t* port, uint16_t address)
{
    port->port.setAddress(address);
}

int tarsel_get_bitsize(const tarsel_t* port)
{
    return port->port.bitsize();
}
void tarsel_set_bitsize(tarsel_t* port, int bitsize)
{
    port->port.setBitsize(bitsize);
}

int tarsel_get_value(tarsel_t* port, int16_t* value)
{
    int16_t read = 0;
    if (!port->port.readValue(read)) return -1;
    if (value) *value = read;
    return 0;
}

int tarsel_set_value(tarsel_t* port, int16_t value)
{
    return port->port.writeValue(value) ? 0 : -1;
}

int tarsel_get_usvalue(tarsel_t* port, int32_t* value)
{
    int32_t read = 0;
    if (!port->port.readUsValue(read)) return -1;
    if (value) *value = read;
    return 0;
}

int tarsel_set_usvalue(tarsel_t* port, int32_t value)
{
    return port->port.writeUsValue(value) ? 0 : -1;
}

int16_t tarsel_stored_value(const tarsel_t* port)
{
    return port->port.storedValue();
}
int32_t tarsel_stored_usvalue(const tarsel_t* port)
{
    return port->port.storedUsValue();
}

const char* tarsel_last_error(const tarsel_t* port)
{
    return port->port.lastError().c_str();
}

int tarsel_memory_peek(const tarsel_t* port, uint16_t address, uint8_t* byte)
{
    const auto* map = memory(port);
    if (!map || !byte) return -1;
    *byte = map->peek(address);
    return 0;
}

int tarsel_memory_poke(tarsel_t* port, uint16_t address, uint8_t byte)
{
    auto* map = memory(port);
    if (!map) return -1;
    map->poke(address, byte);
    return 0;
}
}
