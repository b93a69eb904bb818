# Run at installation, after the program is installed: where the program is
# installed under another prefix than the one it was built for (cpack makes
# the Debian package for /usr whatever the build's prefix), the double
# click's help path in the installed program is rewritten to the help file
# of this installation. The program keeps that path in a buffer of its own
# after a mark (src/session/help.cpp).
#
# Set before it runs: TM_BUILT_HELP_FILE (the path the program was built
# with), TM_HELP_DIR (the help folder below the prefix), TM_PROGRAM (the
# program below the prefix).
set(installed "${CMAKE_INSTALL_PREFIX}/${TM_HELP_DIR}/Quillon2.chm")
if(installed STREQUAL TM_BUILT_HELP_FILE)
  return()
endif()
set(program "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${TM_PROGRAM}")
find_program(TM_PERL perl REQUIRED)
# Exactly one buffer must hold the built path; anything else leaves the
# program untouched and fails the installation.
set(rewrite [=[
my ($file, $mark, $old, $new) = @ARGV;
my $room = 512 - length($mark);
die "the help path $new is too long\n" if length($new) >= $room;
open(my $f, '+<:raw', $file) or die "$file: $!\n";
my $data = do { local $/; <$f> };
my $from = $mark . $old . ("\0" x ($room - length($old)));
my $count = () = $data =~ /\Q$from\E/g;
die "$file: the double click's help path was found $count times, not once\n" if $count != 1;
my $to = $mark . $new . ("\0" x ($room - length($new)));
$data =~ s/\Q$from\E/$to/;
seek($f, 0, 0) or die "$file: $!\n";
print $f $data or die "$file: $!\n";
close($f) or die "$file: $!\n";
]=])
execute_process(COMMAND ${TM_PERL} -e "${rewrite}" "${program}" "TM-DOUBLE-CLICK-HELP:"
                        "${TM_BUILT_HELP_FILE}" "${installed}"
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not set the double click's help path in ${program}")
endif()
message(STATUS "Double click's help file: ${installed}")
