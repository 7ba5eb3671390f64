#!/usr/bin/env bash
# Applies deliberate faults to the program one at a time and shows which tests catch each: every
# unit test runs for every fault, and the end-to-end cases a fault names run under Wine for it.
# A fault that no test catches is a hole in the suite; a test that catches no fault alone guards a behaviour the
# list lacks, or is not needed. Run by hand, not in CI: it rebuilds for each fault and takes about 20 minutes.
#
# Usage: scripts/mutants.sh [regular expression a fault's name must match]
# Works on a clone of a commit (MUTANTS_REF, default HEAD) under MUTANTS_DIR (default
# /tmp/tdl2mp4-mutants), so the work tree is never touched; commit first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=${MUTANTS_DIR:-/tmp/tdl2mp4-mutants}
filter=${1:-}

# One fault a line: name, file, the end-to-end cases that must catch it (a name filter, or -), the locale for
# them (or -), and last the perl substitution that makes the fault (applied with -0pi).
faults=(
  # Decisions of the portable code: caught by unit tests.
  "script_in_ansi convert/conversion.cpp - - s/encode\(text, platform::CodePage::Oem\)/encode(text, platform::CodePage::Ansi)/"
  "settings_in_oem app/settings_file.cpp - - s/encode\(text, platform::CodePage::Ansi\)/encode(text, platform::CodePage::Oem)/"
  "percent_not_doubled convert/merge_script.cpp - - s/if \(c == '%'\) quoted \+= '%';//"
  "output_not_quoted convert/merge_script.cpp - - s/QuoteForBatch\(platform::JoinPath\(appFolder, outputName\)\)/platform::JoinPath(appFolder, outputName)/"
  "joined_by_wildcard convert/merge_script.cpp - - s/for \(const std::string& name : fragmentNames\) sources.push_back\(QuoteForBatch\(name\)\);/for (const std::string\& name : fragmentNames) (void)name;\n  sources.push_back(QuoteForBatch(folder + \"*.tdl\"));/"
  "numbers_compared_as_text convert/fragment_order.cpp - - s/if \(x.size\(\) != y.size\(\)\) return x.size\(\) < y.size\(\);//"
  "two_numbers_varying_reordered convert/fragment_order.cpp - - s/if \(varying && \*varying != i\) return std::nullopt;//"
  "short_forms_unused convert/merge_script.cpp - - s/const auto shortForm = platform.shortPath\(isFolderForm \? path.substr\(0, path.size\(\) - 1\) : path\);/const std::optional<std::string> shortForm;/"
  "name_from_full_path convert/conversion.cpp - - s/ChooseOutputName\(platform, appFolder, video.baseName,/ChooseOutputName(platform, appFolder, video.fullPath.substr(video.fullPath.find_last_of(static_cast<char>(92)) + 1),/"
  "selection_read_again convert/conversion.cpp - - s/StartJoin\(platform, state, chosen, check.fragments\)/StartJoin(platform, state, state.CacheFolderNames[static_cast<std::size_t>(list.selectedListIndices().front())], check.fragments)/"
  "four_bytes_not_characters convert/output_folder.cpp - - s/platform::firstCharacters\(baseName, 4\)/baseName.substr(0, 4)/"
  "base_name_keeps_extension platform/paths.h - - s/if \(dot != std::string::npos\) name.erase\(dot\);//"
  "base_name_to_first_dot platform/paths.h - - s/const auto dot = name.rfind\('.'\);/const auto dot = name.find('.');/"
  "no_guard_while_walking convert/walk_guard.h - - s/state_.walking = true;//"
  "list_not_cleared convert/cache_listing.cpp - - s/list.clearList\(\);//"
  "table_not_cleared convert/cache_listing.cpp - - s/state.CacheFolderNames.clear\(\);//"
  "unopened_folder_silent convert/cache_listing.cpp - - s/platform.message\(kFolderUnreadable \+ opened.error\(\)\);//"
  "unreadable_folder_silent convert/cache_listing.cpp - - s/platform.message\(kFolderUnreadable \+ reader.error\(\)\);//"
  "tdl_check_ignores_case convert/conversion.cpp - - s/name.compare\(name.size\(\) - 3, 3, \"tdl\"\) == 0/HasTdlExtension(name) \|\| name.compare(name.size() - 3, 3, \"tdl\") == 0/"
  "save_not_atomic_in_core app/settings_file.cpp - - s/platform.replaceFile\(settingsPath/platform.writeFile(settingsPath/"
  "settings_read_in_oem app/settings_file.cpp - - s/decode\(bytes, platform::CodePage::Ansi\)/decode(bytes, platform::CodePage::Oem)/"
  "settings_quotes_kept app/settings_file.cpp - - s/line = line.substr\(1, line.size\(\) - 2\);//"
  "settings_first_line_wins app/settings_file.cpp - - s/if \(!isBlank\(\*it\)\) \{/if (false) {/"
  "utf16_settings_as_ansi app/settings_file.cpp - - s/if \(startsWith\(bytes, kUtf16LittleEndianMark\)\) return SettingsEncoding::Utf16LittleEndian;//"
  "unmarked_utf8_as_ansi app/settings_file.cpp - - s/if \(!isAscii\(bytes\) && platform::isStrictUtf8\(bytes\)\) return SettingsEncoding::Utf8;//"
  "overlong_utf8_accepted platform/utf8.h - - s/if \(lead == 0xE0\) low = 0xA0;//"
  "lone_surrogate_kept platform/utf8.h - - s/isHigh\(unit\) \|\| isLow\(unit\) \? kReplacement : unit/unit/"
  "interpreter_without_d convert/conversion.cpp - - s/cmd \/d \/e:on/cmd \/e:on/"
  "interpreter_without_extensions convert/conversion.cpp - - s/ \/e:on \/v:off/ \/v:off/"
  "interpreter_from_windows_path convert/conversion.cpp - - s/JoinPath\(platform.systemFolder\(\), \"cmd.exe\"\)/JoinPath(platform.windowsFolder() + std::string(1, static_cast<char>(92)) + \"System32\", \"cmd.exe\")/"
  "no_result_check convert/conversion.cpp - - s/if \(!partial && renamedNow && size == expected\) return \{finished.outputName, \{\}\};/return {finished.outputName, {}};/"
  "success_by_size_alone convert/conversion.cpp - - s/if \(!partial && renamedNow && size == expected\)/if (!partial \&\& size == expected)/"
  "unseen_end_judged app/main_form.cpp - - s/if \(!seen\) \{/if (false) {/"
  "missing_interpreter_ignored convert/conversion.cpp - - s/if \(!InterpreterPresent\(platform\)\) return;//"
  "network_program_folder_allowed convert/conversion.cpp - - s/if \(isNetworkPath\(appFolder\)\) return/if (false) return/"
  "other_copys_lock_ignored convert/conversion.cpp - - s/if \(!lock\) return kConversionRunning;//"
  "no_copy_overwrite_flag convert/merge_script.cpp - - s/\+ \"copy \/Y \/B \"/+ \"copy \/B \"/"
  "explorer_path_misquoted convert/output_folder.cpp - - s/quoted.append\(trailing, [^)]*\);//"
  "check_and_walk_disagree convert/cache_listing.cpp - - s/platform.kindOf\(platform::WithTrailingBackslash\(path\)\)/platform.kindOf(typedPath)/"
  "quotes_kept_in_path convert/typed_path.cpp - - s/path.front\(\) == '\"' && path.back\(\) == '\"'/false/"
  "blanks_inside_quotes_kept convert/typed_path.cpp - - s/path = withoutBlanksAround\(path.substr\(1, path.size\(\) - 2\)\);/path = path.substr(1, path.size() - 2);/"
  "device_path_taken platform/paths.h - - s/&& !IsDeviceNamespacePath\(path\)//"
  "extended_path_in_script convert/merge_script.cpp - - s/if \(const auto plain = platform::PlainFormOf\(path\)\) return ScriptablePath\(platform, \*plain\);//"
  "message_reworded convert/messages.h - - s/请选择一个时间/请选择时间/"
  "caption_reworded app/form_layout.h - - s/\"开始转换\"/\"开始转换视频\"/"
  "guide_without_mark docs/使用说明.txt - - s/\A\xEF\xBB\xBF//"
  "guide_title_without_version docs/使用说明.txt - - s/ V[0-9.]+ 使用说明/ 使用说明/"
  "guide_with_bare_line_feeds docs/使用说明.txt - - s/\r\n/\n/g"
  "guide_section_unlisted docs/使用说明.txt - - s/  八、常见问题\r\n//"
  "guide_change_log_behind docs/使用说明.txt - - s/(更新记录：\r\n  )V[0-9.]+/${1}V0.9/"
  "temporary_folder_by_prefix app/start_folder.cpp - - s/\|\| inner\[outer.size\(\)\] == /|| true || inner[outer.size()] == /"
  "temporary_folder_case_kept app/start_folder.cpp - - s/!platform::EqualsIgnoringAsciiCase\(inner.substr\(0, outer.size\(\)\), outer\)/inner.substr(0, outer.size()) != outer/"
  "temporary_folder_short_form app/start_folder.cpp - - s/platform.longPath\(platform.AppFolder\(\)\)/platform.AppFolder()/"
  "temporary_folder_short_temp app/start_folder.cpp - - s/platform.longPath\(temporary\)/temporary/"
  "temporary_folder_extended_form app/start_folder.cpp - - s/platform::PlainFormOf\(path\).value_or\(path\)/path/"
  "temporary_folder_drive_root app/start_folder.cpp - - s/outer.empty\(\) \|\| driveRoot \|\|/outer.empty() || (driveRoot && false) ||/"
  "any_text_selected_on_focus app/main_form.cpp - - s/return view_.controlText\(Control::Text1\) == layoutOf\(Control::Text1\).storedText;/return true;/"
  "drop_not_read app/main_form.cpp - - s/view_.setControlText\(Control::Text1, firstItem\);\n\s*onClick\(Control::Command2\);/view_.setControlText(Control::Text1, firstItem);/"
  "enter_reads_anywhere app/main_form.cpp - - s/if \(focused == Control::Text1\) onClick/(void)focused; onClick/"
  "advice_when_not_denied convert/write_failure.h - - s/if \(failure.accessDenied\) text/text/"
  "settings_without_advice app/settings_file.cpp - - s/convert::CannotWriteMessage\(kPathNotSaved, saved\)/kPathNotSaved + saved.error/"
  "script_without_advice convert/conversion.cpp - - s/CannotWriteMessage\(kScriptNotWritten, written\)/kScriptNotWritten + written.error/"
  "start_refusal_silent convert/conversion.cpp - - s/if \(!refusal.empty\(\)\) platform.message\(refusal\);//"
  "old_output_without_advice convert/conversion.cpp - - s/CannotWriteMessage\(kOutputInUse \+ temporary \+ \"（\", deleted, \"）\"\)/kOutputInUse + temporary + \"（\" + deleted.error + \"）\"/"
  "joined_under_final_name convert/merge_script.cpp - - s/QuoteForBatch\(platform::JoinPath\(appFolder, kTemporaryName\)\)/QuoteForBatch(platform::JoinPath(appFolder, outputName))/"
  "rename_after_failed_copy convert/merge_script.cpp - - s/std::string\(kIfAllWentWell\) \+ \"move \/Y \"/std::string(\"move \/Y \")/"
  "append_after_failed_copy convert/merge_script.cpp - - s/const std::string appending = starting \+ temporary \+ \"\+\";/const std::string appending = \"copy \/Y \/B \" + temporary + \"+\";/"
  "copy_line_unbounded convert/merge_script.cpp - - s/sourceLength \+ endingLength <= longestLine\)/sourceLength + endingLength <= longestLine * 1000)/"
  "fragments_by_full_path convert/merge_script.cpp - - s/sources.push_back\(QuoteForBatch\(name\)\)/sources.push_back(QuoteForBatch(folder + name))/"
  "copy_line_past_cmd_limit convert/merge_script.h - - s/kLongestCopyLine = 4000;/kLongestCopyLine = 9000;/"
  "folder_made_current_by_cd convert/merge_script.cpp - - s/\"pushd \" \+ QuoteForBatch\(folder\)/\"cd \/d \" + QuoteForBatch(folder)/"
  "network_drive_kept convert/merge_script.cpp - - s/lines.push_back\(\"popd\"\);//"
  "progress_past_the_end convert/conversion.cpp - - s/std::min<std::uint64_t>\(done, total\)/done/"
  "copy_echoes_names convert/merge_script.cpp - - s/const std::string ending = \" \" \+ temporary \+ \" >nul\";/const std::string ending = \" \" + temporary;/"
  "other_video_replaced convert/output_folder.cpp - - s/if \(platform.fileSize\(path\) == expectedBytes\) return name;/return name;/"
  "earlier_output_not_replaced convert/output_folder.cpp - - s/if \(platform.fileSize\(path\) == expectedBytes\) return name;//"
  "earlier_mp4_not_replaced convert/output_folder.cpp - - s/if \(readTag && readTag\(path\) == tag\) return name;//"
  "any_tagged_mp4_replaced convert/output_folder.cpp - - s/readTag\(path\) == tag\)/readTag(path))/"
  "tag_names_whole_path convert/remux_step.cpp - - s/folder.substr\(folder.find_last_of/folder.substr(0 * folder.find_last_of/"
  "remux_without_stream_check convert/remux_step.cpp - - s/if \(!engine_.looksLikeTransportStream\(\*source\)\) return \{RemuxEnd::NotTaken, \{\}\};//"
  "free_space_unchecked convert/remux_step.cpp - - s/if \(free && \*free < needed\) return joinKept\(kRemuxNoSpace\);//"
  "free_space_without_margin convert/remux_step.cpp - - s/passes->outputSize\(\) \+ kFreeSpaceMargin/passes->outputSize()/"
  "unfinished_mp4_left convert/remux_step.cpp - - s/if \(report.end != RemuxEnd::Replaced\) files_.remove\(temporary\);//"
  "mp4_written_over_join convert/remux_step.cpp - - s/files_.createNew\(temporary, error\)/files_.createNew(video, error)/"
  "failed_replace_reported_done convert/remux_step.cpp - - s/if \(!moved.ok\(\)\) return joinKept\(kRemuxNotReplaced \+ moved.error\);//"
  "remux_reaches_100 convert/remux_step.cpp - - s/return std::min\(whole, 99\);/return whole;/"
  "joined_only_said_converted convert/remux_step.cpp - - s/if \(report.end == RemuxEnd::JoinKept\)/if (false)/"
  "progress_goes_back app/main_form.cpp - - s/shownPercent_ = std::max\(shownPercent_, percent\);/shownPercent_ = percent;/"
  "conversion_during_remux app/main_form.cpp - - s/if \(remux_ \|\| batch_\) \{\n\s*platform_.message\(convert::kConversionRunning\);\n\s*return;\n\s*\}//"
  "close_without_cancel app/main_form.cpp - - s/remux_->cancel\(\);//"
  "close_without_waiting app/main_form.cpp - - s/view_.awaitRemux\(\);//"
  "remux_leftover_kept convert/conversion.cpp - - s/, kRemuxTemporaryName\}/}/"
  "lock_let_go_during_remux app/main_form.cpp - - s/if \(remux_\) return;\n//"
  "lock_kept_after_remux app/main_form.cpp - - s/showEnd\(convert::FinishedCaption\(name, report\)\);\n\s*platform_.releaseInterpreter\(\);/showEnd(convert::FinishedCaption(name, report));/"
  "remux_name_unchecked convert/conversion.cpp - - s/&temporary, &remuxing\}/\&temporary}/"
  "gaps_not_asked convert/conversion.cpp - - s/check.fragments.missingNumbers > 0 &&/false \&\&/"
  "gaps_asked_always convert/conversion.cpp - - s/check.fragments.missingNumbers > 0 &&/true \&\&/"
  "gap_answer_inverted convert/conversion.cpp - - s/!platform.askYesNo\(/!!platform.askYesNo(/"
  "gaps_counted_per_name convert/fragment_order.cpp - - s/\+ 1 - numbers.size\(\);/+ 1 - numbering.split.size();/"
  "expected_size_not_reread convert/conversion.cpp - - s/const std::uint64_t expected = joinedBytes\(platform, finished\);/const std::uint64_t expected = finished.expectedBytes;/"
  "partial_run_judged_by_size convert/conversion.cpp - - s/if \(!partial && renamedNow && size == expected\)/if (renamedNow \&\& size == expected)/"
  "partial_video_left convert/conversion.cpp - - s/if \(partial\) platform.deleteFile\(temporary\);//"
  "cut_off_script_left convert/conversion.cpp - - s/if \(isFile\(platform, script\)\) platform.deleteFile\(script\);//"
  "stale_partial_appended_to convert/conversion.cpp - - s/if \(isFile\(platform, temporary\)\) \{/if (false) {/"
  "startup_cleanup_ignores_lock convert/conversion.cpp - - s/const auto lock = platform.lockScriptFolder\(appFolder\);\n\s*if \(!lock\) return;//"
  "no_startup_cleanup app/main_form.cpp - - s/convert::RemoveInterruptedRun\(platform_\);//"
  "progress_from_script convert/conversion.cpp - - s/fileSize\(platform::JoinPath\(state.conversion->appFolder, kTemporaryName\)\)/fileSize(platform::JoinPath(state.conversion->appFolder, kScriptName))/"
  "caption_kept_on_read app/main_form.cpp - - s/if \(!state_.conversion && !remux_\) view_.setWindowCaption\(kWindowCaption\);//"
  "progress_timer_left_running app/main_form.cpp - - s/view_.stopProgressTimer\(\);//"
  "no_flash_at_end app/main_form.cpp - - s/view_.flashIfInBackground\(\);//"
  "converted_caption_without_name convert/remux_step.cpp - - s/return kCaptionConverted \+ videoName;/return kCaptionConverted + std::string(\"Shipin\");/"
  "lock_let_go_before_judging app/main_form.cpp - - s/(\n(\s*)judgeEnd\(seen\);)/\n\$2platform_.releaseInterpreter();\$1/"
  "own_names_unchecked convert/conversion.cpp - - s/OwnNameTaken\(platform, \*own\)/std::optional<std::string>()/"
  "own_name_link_followed convert/output_folder.cpp - - s/ && !platform.isLink\(path\)//"
  "settings_copy_name_unchecked app/settings_file.cpp - - s/convert::OwnNameTaken\(platform, settingsPath\(platform\) \+ platform::kReplacementSuffix\)/std::optional<std::string>()/"
  "full_list_ignored convert/cache_listing.cpp - - s/if \(!list.addListEntry\(shown\)\) \{/if (!list.addListEntry(shown) \&\& false) {/"
  "altered_name_converted convert/conversion.cpp - - s/if \(video.nameAltered\) return/if (false) return/"
  "emulation_bytes_kept media/parameter_sets.cpp - - s/if \(zeros >= 2 && byte == 3\) \{/if (false) {/"
  "start_code_padding_kept media/parameter_sets.cpp - - s/while \(unitEnd > unitStart && unitEnd\[-1\] == 0\) --unitEnd;//"
  "avc_crop_ignored media/parameter_sets.cpp - - s/heightInMapUnits \* 16 \* fieldFactor, subWidth \* crop\.across,/heightInMapUnits * 16 * fieldFactor, 0,/"
  "avc_fields_as_frames media/parameter_sets.cpp - - s/fieldFactor = frameMbsOnly \? 1 : 2;/fieldFactor = 1;/"
  "avc_scaling_lists_unread media/parameter_sets.cpp - - s/if \(reader.flag\(\)\) skipAvcScalingList\(reader, i < 6 \? 16 : 64\);/reader.flag();/"
  "avc_high_record_fields_missing media/parameter_sets.cpp - - s/first->profile == 110 \|\| first->profile == 122 \|\|/first->profile == 110 ||/"
  "hevc_sub_layer_padding_misread media/parameter_sets.cpp - - s/reader.skip\(2 \* \(8 - subLayers\)\);/reader.skip(2 * (7 - subLayers));/"
  "hevc_temporal_layers_lost media/parameter_sets.cpp - - s/\(first->maxSubLayersMinus1 \+ 1\) << 3/1 << 3/"
  "repeated_sets_in_record media/parameter_sets.cpp - - s/if \(std::find\(distinct.begin\(\), distinct.end\(\), set\) == distinct.end\(\)\) distinct.push_back/distinct.push_back/"
  "cra_not_key media/parameter_sets.cpp - - s/nalType <= kHevcLastIrap/nalType <= 20/"
  "packet_without_next_sync media/ts_packets.cpp - - s/\(!nextInBuffer \|\| syncAt\(at \+ kTsPacketSize\)\)/true/"
  "equal_counter_always_repeat media/ts_packets.cpp - - s/return start == startBefore \? Continuity::Repeated : Continuity::Broken;/return Continuity::Repeated;/"
  "section_crc_unchecked media/psi_tables.cpp - - s/if \(Crc32Mpeg\(section_.data\(\), total\) != 0\) return std::nullopt;//"
  "other_audio_ignored media/psi_tables.cpp - - s/case 0x03://"
  "pts_markers_unchecked media/pes_assembler.cpp - - s/if \(\(p\[0\] & 1\) == 0 \|\| \(p\[2\] & 1\) == 0 \|\| \(p\[4\] & 1\) == 0\) return std::nullopt;//"
  "segment_join_damages media/pes_assembler.cpp - - s/continuity == Continuity::Broken && !packet.payloadStart/continuity == Continuity::Broken/"
  "cut_unit_kept media/pes_assembler.cpp - - s/if \(collecting_ && expected_ == 0 && cut\) collecting_ = false;//"
  "untimed_unit_alone media/pes_assembler.cpp - - s/const bool continues = joinUntimed_ &&/const bool continues = false &&/"
  "clock_not_unwrapped media/timeline.cpp - - s/last_ \+= delta;/last_ = value;/"
  "wild_time_kept media/timeline.cpp - - s/if \(comesBack\) \{/if (false) {/"
  "overlap_delays_track media/timeline.cpp - - s/time < expected && expected - time > kRestartJump \* step/time < expected/"
  "short_sound_gap_closed media/timeline.cpp - - s/snap \? step \/ 8/snap ? step \/ 2/"
  "broken_adts_costs_neighbour media/adts.cpp - - s/const bool inStep = config_ && skipped == 0;/const bool inStep = false;/"
  "lost_adts_frames_take_no_time media/adts.cpp - - s/index \+= static_cast<std::int64_t>\(\(skipped \+ average \/ 2\) \/ average\);//"
  "cut_adts_frame_dropped media/adts.cpp - - s/if \(size - at < kMaxFrame\) carry_.assign\(data \+ at, data \+ size\);//"
  "damaged_sps_kept_in_samples media/video_access_units.cpp - - s/if \(type == spsType && !SequenceParameterSetReads\(codec_, nal\)\) continue;//"
  "sps_end_unchecked media/parameter_sets.cpp - - s/if \(!reader.atEnd\(\)\) return std::nullopt;//"
  "first_sets_over_recurring media/video_access_units.cpp - - s/return \(a->seen > 1\) > \(b->seen > 1\);/return false;/"
  "damaged_sets_chosen media/video_access_units.cpp - - s/if \(a->damaged != b->damaged\) return !a->damaged;//"
  "delimiters_kept media/video_access_units.cpp - - s/if \(IsAccessUnitDelimiter\(codec_, type\)\) \{/if (false) {/"
  "time_jumps_as_steps media/sample_table.h - - s/if \(started_ && last_ - time < kLimit && step < kLimit\) \{/if (started_) {/"
  "tracks_start_together media/track_timing.cpp - - s/timings\[i\].emptyEdit = starts\[i\] - movieStart;//"
  "presentation_time_from_offset media/track_timing.cpp - - s/present\[i\] = std::max\(present\[i\], decode\[i\]\);/present[i] = decode[i] + offset;/"
  "no_ctts media/mp4_boxes.cpp - - s/if \(any\) \{/if (false) {/"
  "every_frame_key media/mp4_boxes.cpp - - s/if \(track.keys\[i\]\) b.w.u32/b.w.u32/"
  "source_tag_box_missing media/mp4_boxes.cpp - - s/b.begin\(kSourceTagBox\);/b.begin(\"free\");/"
  "cancel_ignored media/demux_pass.cpp - - s/result.outcome = RemuxOutcome::Cancelled;/break;/"
  "write_failure_unreported media/remux.cpp - - s/if \(receiver.writeFailed\(\)\) return/if (false) return/"
  "offsets_always_32_bit media/mp4_boxes.cpp - - s/chunkOffsets.back\(\) > kMaxU32/false/"
  "mdat_size_always_32_bit media/mp4_boxes.cpp - - s/if \(payloadBytes \+ 8 > kMaxU32\) \{/if (false) {/"
  "batch_out_of_list_order convert/batch.cpp - - s/std::sort\(positions.begin\(\), positions.end\(\)\);//"
  "batch_skipped_unnamed convert/batch.cpp - - s/if \(!skipped.empty\(\)\) platform.message\(withEntries\(kBatchSkipped, skipped\)\);//"
  "batch_gap_answer_inverted convert/batch.cpp - - s/!platform.askYesNo\(/!!platform.askYesNo(/"
  "batch_gaps_counted_as_all convert/batch.cpp - - s/std::to_string\(gaps\)/std::to_string(batch.videos_.size())/"
  "batch_plain_join_uncounted convert/batch.cpp - - s/\+\+convertedCount_;/if (report.end == RemuxEnd::Replaced) ++convertedCount_;/"
  "batch_joined_only_unreported convert/batch.cpp - - s/failures_.push_back\(listed\(videos_\[next_ - 1\], lastCaption_\)\);//"
  "batch_goes_on_after_close convert/batch.cpp - - s/case RemuxEnd::Cancelled:\n\s*stop\(\);/case RemuxEnd::Cancelled:/"
  "batch_of_one_counted convert/batch.cpp - - s/if \(videos_.size\(\) == 1\) return lastCaption_;//"
  "batch_taskbar_per_video app/main_form.cpp - - s/view_.showTaskbarProgress\(batch_->overallPercent\(shownPercent_\)\);/view_.showTaskbarProgress(shownPercent_);/"
  "batch_caption_uncounted app/main_form.cpp - - s/if \(batch_ && batch_->size\(\) > 1\) \{/if (false) {/"
  "batch_names_shared app/main_form.cpp - - s/check.fragments, batch_->names\(\)\)/check.fragments, {})/"
  "batch_failure_shown_at_once app/main_form.cpp - - s/batch_->failed\(joined.failure\);\n(\s*)return;/platform_.message(joined.failure);\n\$1return;/"
  "batch_failure_stops_rest app/main_form.cpp - - s/batch_->failed\(refusal\);/batch_->failed(refusal);\n    break;/"
  "batch_goes_on_after_unseen_end app/main_form.cpp - - s/if \(batch_\) batch_->stop\(\);//"
  "name_taken_in_run_chosen convert/output_folder.cpp - - s/return platform::EqualsIgnoringAsciiCase\(name, other\);/return name == other \&\& false;/"
  "name_taken_in_run_case_kept convert/output_folder.cpp - - s/return platform::EqualsIgnoringAsciiCase\(name, other\);/return name == other;/"
  # What needs the real window, the real file system or the real interpreter: caught end to end.
  "no_yield_while_listing convert/cache_listing.cpp path_box - s/platform.yield\(\);//"
  "long_date platform/win32/folder_reader.cpp conversion_join - s/DATE_SHORTDATE/DATE_LONGDATE/"
  "non_atomic_save platform/win32/files.cpp settings_save - s/Status written = writeNewFile\(temporary, bytes, FILE_FLAG_WRITE_THROUGH\);/Status written = writeNewFile(target, bytes, 0); return written;/"
  "save_failure_ignored platform/win32/files.cpp settings_save - s/(MOVEFILE_REPLACE_EXISTING \| MOVEFILE_WRITE_THROUGH\)\) \{\n(\s*\/\/.*\n)*\s*)written = Status::failure\(lastErrorText\(\)\);/\$1/"
  "oem_is_ansi platform/win32/code_pages.cpp conversion_join fr_FR.UTF-8 s/page == CodePage::Ansi \? GetACP\(\) : GetOEMCP\(\)/GetACP()/"
  "working_folder_ignored platform/win32/processes.cpp conversion_join - s/folder.empty\(\) \? nullptr : folder.c_str\(\)/nullptr/"
  "no_short_path platform/win32/file_names.cpp conversion_many_fragments - s/const DWORD size = GetShortPathNameW\(longPath.c_str\(\), nullptr, 0\);/const DWORD size = 0;/"
  "no_lock_across_copies platform/win32/interpreter_watch.cpp conversion_one_at_a_time - s/if \(!mutex \|\| GetLastError\(\) == ERROR_ALREADY_EXISTS\) return nullptr;/if (!mutex) return nullptr;/"
  "lock_not_inherited platform/win32/interpreter_watch.cpp conversion_one_at_a_time - s/auto started = startProcess\(request, scriptLock.handle\(\)\);/auto started = startProcess(request, nullptr); (void)scriptLock;/"
  "interpreter_end_unseen platform/win32/interpreter_watch.cpp conversion_many_fragments - s/kInterpreterEndedMessage, kInterpreterEndSeen, 0\)/kInterpreterEndedMessage, 0, 0)/"
  "message_box_with_icon platform/win32/message_boxes.cpp conversion_many_fragments - s/title.c_str\(\), MB_OK\)/title.c_str(), MB_OK \| MB_ICONINFORMATION)/"
  "stamp_same_for_every_file platform/win32/files.cpp conversion_join - s/return FileStamp\{/return FileStamp{information.dwVolumeSerialNumber, 0, 0};\n  return FileStamp{/"
  "lock_never_let_go platform/win32/win32_platform.cpp conversion_join - s/if \(interpreterWatch_\) interpreterWatch_->release\(\);//"
  "run_without_arguments platform/win32/processes.cpp conversion_join - s/commandLine.data\(\), nullptr, nullptr,/nullptr, nullptr, nullptr,/"
  "control_misplaced app/form_layout.h window_layout - s/ControlKind::Button, 7200, 600/ControlKind::Button, 7320, 600/"
  "no_picture app/main_window.cpp window_layout - s/MAKEINTRESOURCEW\(IDB_QR_CODE\)/MAKEINTRESOURCEW(IDB_QR_CODE + 1000)/"
  "label3_default_font app/main_window.cpp window_layout - s/entry.control == Control::Label3 \? newLabel3Font.get\(\) : newDefaultFont.get\(\)/newDefaultFont.get()/"
  "label1_in_label3_font app/main_window.cpp window_layout - s/entry.control == Control::Label3 \? newLabel3Font.get\(\) : newDefaultFont.get\(\)/newLabel3Font.get()/"
  "tab_order_by_table app/main_window.cpp window_layout - s/return rank\(a\) < rank\(b\);/return false;/"
  "close_box_ignored app/main_window.cpp conversion_one_at_a_time - s/case WM_CLOSE:\n\s*form_.onClose\(\);/case WM_CLOSE:/"
  "end_button_ignored app/main_form.cpp path_box - s/case Control::Command3:\n\s*endProgram\(\);/case Control::Command3:/"
  "temporary_folder_not_checked app/winmain.cpp start_in_temporary_folder - s/if \(!app::MayRunHere\(platform\)\) return 0;//"
  "shown_work_never_runs app/main_window.cpp window_layout - s/PostMessageW\(window_, kShownMessage, 0, 0\);//"
  "held_open_file_blamed_on_folder platform/win32/files.cpp settings_save - s/written = Status::failure\(lastErrorText\(\)\);/written = lastErrorStatus();/"
  "stored_text_not_selected app/main_window_path_box.cpp path_box - s/PostMessageW\(control\(Control::Text1\), EM_SETSEL, 0, -1\);//"
  "enter_not_routed app/main_window_path_box.cpp path_box - s/if \(id == IDOK && notification == BN_CLICKED\) \{/if (false) {/"
  "no_progress_timer app/main_window.cpp conversion_many_fragments - s/SetTimer\(window_, kProgressTimer, kProgressMilliseconds, nullptr\);//"
  "remux_not_awaited_on_close app/main_window.cpp remux_closed - s/remuxWorker_.awaitEnd\(900\);//"
  "remux_on_window_thread platform/win32/remux_worker.cpp remux_closed - s/thread_.reset\(CreateThread\(nullptr, 0, &RemuxWorker::threadMain, this, 0, nullptr\)\);/thread_.reset();/"
  "remux_end_unheard app/main_window.cpp remux_to_mp4 - s/case platform::win32::kRemuxEndedMessage:\n\s*onRemuxEnded\(\);\n\s*return 0;//"
  "remux_reads_misplaced platform/win32/remux_worker.cpp remux_to_mp4 - s/const std::size_t inBuffer = static_cast<std::size_t>\(at - bufferStart_\);/const std::size_t inBuffer = 0;/"
  "remux_last_buffer_unwritten platform/win32/remux_worker.cpp remux_to_mp4 - s/if \(file_\) \{\n\s*handOver\(\);/if (file_) {/"
  "question_without_no platform/win32/message_boxes.cpp conversion_many_fragments - s/title.c_str\(\), MB_YESNO\) == IDYES/title.c_str(), MB_OK) == IDOK/"
  "selection_read_as_caret app/main_window.cpp batch_ - s/if \(count <= 0\) return \{\};/if (count <= 0) return {};\n  return {static_cast<int>(SendMessageW(list, LB_GETCARETINDEX, 0, 0))};/"
  "ctrl_a_ignored app/main_window.cpp batch_range_in_order - s/SendMessageW\(control\(Control::List1\), LB_SETSEL, TRUE, -1\);//"
)

rm -rf "$work"
mkdir -p "$work"
: >"$work/catchers"
git clone -q "$root" "$work/src"
src=$work/src
git -C "$src" checkout -q "${MUTANTS_REF:-HEAD}"
export BUILD_DIR=$work/build
"$src/scripts/build.sh" native win >"$work/build.log" 2>&1 || { echo "mutants: the unmutated tree does not build" >&2; exit 1; }
# After the build, which installs Wine when it is missing: the session helpers choose the loader from what is there.
source "$root/scripts/wine-session.sh"
ts_fixtures=$("$src/scripts/make-ts-fixtures.sh")

# Failing unit tests, space-separated; "(build)" when the fault does not even compile. The media tests (against
# ffmpeg, the fuzzing loop) take a minute and only see faults in the media core, so only its faults run them.
unit_failures() {
  local file=$1 only=()
  [[ $file == media/* ]] || only=(-LE media)
  cmake --build "$BUILD_DIR/native" >"$work/unit-build.log" 2>&1 || { echo "(build)"; return; }
  local failed
  failed=$(ctest --test-dir "$BUILD_DIR/native" "${only[@]}" 2>&1 | sed -nE 's/^[[:space:]]*[0-9]+ - ([^ ]+) \((Failed|SEGFAULT|Subprocess aborted|Timeout)\)$/\1/p' |
    tr '\n' ' ')
  echo "${failed% }"
}

# Failing end-to-end cases among those the filter names, in a Wine session of the given locale.
e2e_failures() {
  local cases=$1 locale=$2
  cmake --build "$BUILD_DIR/win" >"$work/win-build.log" 2>&1 || { echo "(build)"; return; }
  (
    [[ $locale == - ]] || export WINE_LOCALE=$locale
    wine_session_start >/dev/null 2>&1
    # An interpreter a fault starts without its command line sits at its prompt, which lands in front of the
    # driver's lines: a FAIL is read wherever it stands on a line.
    E2E_TS_FIXTURES=$("$wine_loader" winepath -w "$ts_fixtures") timeout 20m "$wine_loader" "$BUILD_DIR/win/bin/e2e_driver.exe" \
      "$("$wine_loader" winepath -w "$BUILD_DIR/win/bin/tdl2mp4.exe")" "$cases" \
      2>/dev/null | sed 's/\r$//' | LC_ALL=C sed -nE 's/.*FAIL ([a-z0-9_]+).*/\1/p' | tr '\n' ' '
  ) || true
}

printf '%-32s %-60s %s\n' fault "unit tests that fail" "end-to-end cases that fail"
caught=0 missed=0
for fault in "${faults[@]}"; do
  read -r name file cases locale substitution <<<"$fault"
  [[ -z $filter || $name =~ $filter ]] || continue
  git -C "$src" checkout -q -- .
  before=$(md5sum "$src/$file")
  perl -0pi -e "$substitution" "$src/$file"
  if [[ $(md5sum "$src/$file") == "$before" ]]; then
    printf '%-32s %s\n' "$name" "NOT APPLIED: the code it changes has moved"
    missed=$((missed + 1))
    continue
  fi
  unit=$(unit_failures "$file")
  e2e=-
  [[ $cases == - ]] || e2e=$(e2e_failures "$cases" "$locale")
  read -ra failing <<<"$unit"
  shown=${failing[0]:--}
  ((${#failing[@]} < 2)) || shown+=" (+$((${#failing[@]} - 1)) more)"
  printf '%-32s %-60s %s\n' "$name" "$shown" "${e2e:--}"
  [[ $unit == "(build)" || $e2e == "(build)" ]] || echo "$name $unit ${e2e#-}" >>"$work/catchers"
  # A fault that does not build proves nothing about the tests.
  if [[ $unit == "(build)" || $e2e == "(build)" ]]; then
    missed=$((missed + 1))
  elif [[ -n $unit || (-n $e2e && $e2e != -) ]]; then
    caught=$((caught + 1))
  else
    missed=$((missed + 1))
  fi
done
git -C "$src" checkout -q -- .
echo "mutants: $caught caught, $missed missed"

# A test that catches no fault on its own could go without letting one through: either it guards a behaviour the
# list lacks a fault for, or it is not needed.
echo
echo "faults each test alone catches:"
declare -A alone=()
while read -r name catchers; do
  read -ra each <<<"$catchers"
  ((${#each[@]} == 1)) && alone[${each[0]}]+=" $name"
done <"$work/catchers"
for test in "${!alone[@]}"; do printf '  %-72s%s\n' "$test" "${alone[$test]}"; done | sort
tests=$(ctest --test-dir "$BUILD_DIR/native" -N | sed -nE 's/^ *Test +#[0-9]+: (.*)$/\1/p')
tests+=$'\n'$(for fault in "${faults[@]}"; do read -r _ _ cases _ <<<"$fault"; [[ $cases == - ]] || echo "$cases"; done | sort -u)
echo "tests that catch no fault alone:"
for test in $tests; do [[ -n ${alone[$test]:-} ]] || echo "  $test"; done
