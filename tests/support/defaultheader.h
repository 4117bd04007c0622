#pragma once

// The test script's header as the editor sets it at every start: ten lines with CR LF between
// them and no line end after the last one.
inline constexpr const char* kDefaultHeaderText
    = "' Instrument set to GM Drums\r\n"
      "Set TRACKINSTRUMENT(1) = 0\r\n"
      "' Snare,Bass,Closed HH,Open HH,HiTom,LoTom\r\n"
      "SET TRACKVOICES(1)=40,35,42,46,50,45\r\n"
      "SET PLAYBEAT=NO;SET PLAYBAR=NO\r\n"
      "SET INTRO=;SET TRANSITION=;SET TIMESIG=4/4\r\n"
      "SET TEMPO=100;SET REPEATS=3;SET TEMPOCHANGE=10\r\n"
      "'Make sure you change this line if you're using odd note types\r\n"
      "SET ATICKS=120;SET BTICKS=120;SET CTICKS=120\r\n"
      "SET DTICKS=120;SET ETICKS=120;SET FTICKS=120";
