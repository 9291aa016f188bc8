/*
 * LED blinker for an AT89S51/AT89S52 board: an LED on P1.0 (active low, through a resistor to
 * VCC) toggles twice a second. Timer 0 in 16-bit mode counts 50 ms periods at 11.0592 MHz; ten of
 * them make the half period. Build with `make` (sdcc); blinker.hex is what gets programmed.
 */
#include <8052.h>

#define LED P1_0

/* 50 ms at 11.0592 MHz / 12 = 921600 counts per second: 46080 counts. */
#define TICK_COUNTS 46080u
#define TICK_RELOAD (65536u - TICK_COUNTS)
#define TICKS_PER_TOGGLE 10

static void wait_tick(void) {
    TH0 = TICK_RELOAD >> 8;
    TL0 = TICK_RELOAD & 0xFF;
    TF0 = 0;
    TR0 = 1;
    while (!TF0) {
    }
    TR0 = 0;
}

void main(void) {
    unsigned char ticks;

    TMOD = (TMOD & 0xF0) | 0x01; /* timer 0: 16-bit timer, no gate */
    LED = 1;                     /* off */
    for (;;) {
        for (ticks = 0; ticks < TICKS_PER_TOGGLE; ++ticks) wait_tick();
        LED = !LED;
    }
}
